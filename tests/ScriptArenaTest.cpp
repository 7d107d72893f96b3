// The script arena against a model of what it handed out: random sequences of allocations,
// releases and reallocations, each block filled with a pattern of its own that must survive
// until the block is released, blocks never overlapping, the arena's own bookkeeping consistent
// throughout, and all of the memory usable again once everything is released.
#include "scripting/ScriptArena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <random>

namespace
{

struct Held
{
    std::size_t size;
    std::uint8_t seed;
};

std::uint8_t PatternByte(std::uint8_t seed, std::size_t i)
{
    return static_cast<std::uint8_t>(seed + i * 131 + (i >> 8));
}

void Fill(void* p, std::size_t size, std::uint8_t seed)
{
    auto* b = static_cast<std::uint8_t*>(p);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = PatternByte(seed, i);
}

bool Intact(const void* p, std::size_t size, std::uint8_t seed)
{
    const auto* b = static_cast<const std::uint8_t*>(p);
    for (std::size_t i = 0; i < size; ++i)
        if (b[i] != PatternByte(seed, i))
            return false;
    return true;
}

class Model
{
public:
    explicit Model(TW::ScriptArena& arena) : m_arena(arena) {}

    // Checks a block the arena just handed out against everything held.
    void Take(void* p, std::size_t size, std::uint8_t seed)
    {
        ASSERT_NE(p, nullptr);
        ASSERT_TRUE(m_arena.Owns(p));
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % TW::ScriptArena::kAlignment, 0u);
        ASSERT_GE(m_arena.BlockSize(p), size);
        auto* c = static_cast<char*>(p);
        const auto next = m_held.lower_bound(p);
        if (next != m_held.end())
        {
            ASSERT_LE(reinterpret_cast<std::uintptr_t>(c + m_arena.BlockSize(p)),
                      reinterpret_cast<std::uintptr_t>(next->first))
                << "overlaps the following block";
        }
        if (next != m_held.begin())
        {
            const auto before = std::prev(next);
            ASSERT_LE(reinterpret_cast<std::uintptr_t>(static_cast<char*>(before->first) +
                                                       m_arena.BlockSize(before->first)),
                      reinterpret_cast<std::uintptr_t>(c))
                << "overlaps the preceding block";
        }
        Fill(p, size, seed);
        m_held[p] = {size, seed};
    }

    std::map<void*, Held> m_held;

private:
    TW::ScriptArena& m_arena;
};

// Sizes as an interpreter asks for them: mostly small, some middling, a few large.
std::size_t RandomSize(std::mt19937& rng)
{
    const unsigned kind = rng() % 100;
    if (kind < 70)
        return 1 + rng() % 120;
    if (kind < 95)
        return 1 + rng() % 5000;
    return 1 + rng() % 300000;
}

TEST(ScriptArena, RandomSequencesKeepEveryBlockIntactAndApart)
{
    for (unsigned seed : {1u, 2u, 3u, 4u})
    {
        SCOPED_TRACE(seed);
        TW::ScriptArena arena(8u << 20);
        ASSERT_GT(arena.Capacity(), 0u);
        Model model(arena);
        std::mt19937 rng(seed);
        std::size_t failures = 0;
        for (int step = 0; step < 20000; ++step)
        {
            const unsigned op = rng() % 10;
            const auto seedByte = static_cast<std::uint8_t>(rng());
            if (op < 5 || model.m_held.empty())
            {
                const std::size_t size = RandomSize(rng);
                void* p = arena.Allocate(size);
                if (!p)
                {
                    ++failures;
                    continue;
                }
                model.Take(p, size, seedByte);
            }
            else
            {
                auto it = model.m_held.begin();
                std::advance(it, rng() % model.m_held.size());
                void* p = it->first;
                const Held held = it->second;
                ASSERT_TRUE(Intact(p, held.size, held.seed)) << "step " << step;
                if (op < 8)
                {
                    model.m_held.erase(it);
                    arena.Free(p);
                }
                else
                {
                    const std::size_t size = RandomSize(rng);
                    void* q = arena.Reallocate(p, size);
                    if (!q)
                    {
                        // A failed reallocation leaves the block as it was.
                        ++failures;
                        ASSERT_TRUE(Intact(p, held.size, held.seed));
                        continue;
                    }
                    // The kept prefix moved with the block.
                    ASSERT_TRUE(Intact(q, std::min(size, held.size), held.seed));
                    model.m_held.erase(it);
                    model.Take(q, size, seedByte);
                }
            }
            if (step % 1000 == 0)
            {
                ASSERT_TRUE(arena.CheckConsistency()) << "step " << step;
            }
        }
        ASSERT_TRUE(arena.CheckConsistency());
        // The sequence did fill the arena at times, and it kept working after each refusal.
        EXPECT_GT(failures, 0u);
        for (const auto& entry : model.m_held)
        {
            ASSERT_TRUE(Intact(entry.first, entry.second.size, entry.second.seed));
            arena.Free(entry.first);
        }
        EXPECT_EQ(arena.Used(), 0u);
        ASSERT_TRUE(arena.CheckConsistency());
        // Everything merged back: the reservation is one block again. (A segregated fit rounds a
        // request up to the next size class, so the last sixteenth cannot be asked for at once.)
        void* all = arena.Allocate(arena.Capacity() / 16 * 15 - 64);
        EXPECT_NE(all, nullptr);
        arena.Free(all);
    }
}

TEST(ScriptArena, ReallocationGrowsAndShrinksInPlaceWhenItCan)
{
    TW::ScriptArena arena(1u << 20);
    void* a = arena.Allocate(100);
    Fill(a, 100, 7);
    // Nothing follows a: it grows where it is, keeping its bytes.
    void* grown = arena.Reallocate(a, 5000);
    EXPECT_EQ(grown, a);
    EXPECT_TRUE(Intact(grown, 100, 7));
    void* b = arena.Allocate(64);
    // Shrinking never moves and never fails; the freed tail is usable.
    EXPECT_EQ(arena.Reallocate(grown, 40), grown);
    EXPECT_TRUE(Intact(grown, 40, 7));
    void* c = arena.Allocate(2000);
    ASSERT_NE(c, nullptr);
    EXPECT_LT(c, b) << "the tail given up by the shrink was not reused";
    // A block hemmed in moves, and keeps its bytes.
    void* moved = arena.Reallocate(grown, 4000);
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, grown);
    EXPECT_TRUE(Intact(moved, 40, 7));
    EXPECT_TRUE(arena.CheckConsistency());
    // Size 0 frees; asking for more than the arena holds fails and keeps the block.
    EXPECT_EQ(arena.Reallocate(arena.Reallocate(nullptr, 10), 0), nullptr);
    EXPECT_EQ(arena.Reallocate(moved, arena.Capacity() * 2), nullptr);
    EXPECT_TRUE(Intact(moved, 40, 7));
    EXPECT_EQ(arena.Allocate(0), nullptr);
    EXPECT_EQ(arena.Allocate(SIZE_MAX), nullptr);
    for (void* p : {b, c, moved})
        arena.Free(p);
    EXPECT_EQ(arena.Used(), 0u);
    EXPECT_TRUE(arena.CheckConsistency());
}

} // namespace
