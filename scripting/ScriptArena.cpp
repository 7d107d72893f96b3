#include "ScriptArena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace TW
{

// A block's header; its payload follows at once. A free block's payload starts with its free-list
// links. The lowest bit of the size word marks a free block (sizes are multiples of 16).
struct ScriptArena::Block
{
    Block* prevPhys;
    std::size_t sizeWord;
    Block* nextFree;
    Block* prevFree;
};

namespace
{

constexpr std::size_t kHeader = 2 * sizeof(void*);
constexpr std::size_t kMinPayload = 2 * sizeof(void*);
constexpr std::size_t kFreeBit = 1;
constexpr std::size_t kSmallBlock = std::size_t{1} << (4 + 4); // below: one list per size

static_assert(kHeader % ScriptArena::kAlignment == 0);
static_assert(kMinPayload <= ScriptArena::kAlignment);

int HighestBit(std::size_t v)
{
    return 63 - __builtin_clzll(static_cast<unsigned long long>(v));
}

std::size_t RoundUp(std::size_t v, std::size_t to)
{
    return (v + to - 1) & ~(to - 1);
}

inline std::size_t SizeOf(const ScriptArena::Block* b);

} // namespace

ScriptArena::ScriptArena(std::size_t capacity)
{
    const long page = sysconf(_SC_PAGESIZE);
    const std::size_t pageSize = page > 0 ? static_cast<std::size_t>(page) : 4096;
    if (capacity < 4 * kHeader)
        capacity = 4 * kHeader;
    const std::size_t mapped = RoundUp(capacity, pageSize);
    void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED)
        return;
    m_memory = static_cast<unsigned char*>(memory);
    m_mapped = mapped;
    m_capacity = mapped;

    // One free block over everything but a used sentinel header at the end, which stops merging.
    auto* first = reinterpret_cast<Block*>(m_memory);
    first->prevPhys = nullptr;
    first->sizeWord = mapped - 2 * kHeader;
    auto* sentinel = reinterpret_cast<Block*>(m_memory + mapped - kHeader);
    sentinel->prevPhys = first;
    sentinel->sizeWord = 0;
    first->sizeWord |= kFreeBit;
    InsertFree(first);
}

ScriptArena::~ScriptArena()
{
    if (m_memory)
        munmap(m_memory, m_mapped);
}

bool ScriptArena::Owns(const void* ptr) const noexcept
{
    const auto* p = static_cast<const unsigned char*>(ptr);
    return m_memory && p >= m_memory && p < m_memory + m_mapped;
}

namespace
{

inline ScriptArena::Block* NextPhys(ScriptArena::Block* b)
{
    return reinterpret_cast<ScriptArena::Block*>(reinterpret_cast<unsigned char*>(b) + kHeader +
                                                 (b->sizeWord & ~kFreeBit));
}

inline std::size_t SizeOf(const ScriptArena::Block* b)
{
    return b->sizeWord & ~kFreeBit;
}

inline bool IsFree(const ScriptArena::Block* b)
{
    return (b->sizeWord & kFreeBit) != 0;
}

inline void* Payload(ScriptArena::Block* b)
{
    return reinterpret_cast<unsigned char*>(b) + kHeader;
}

inline ScriptArena::Block* FromPayload(const void* p)
{
    return reinterpret_cast<ScriptArena::Block*>(
        const_cast<unsigned char*>(static_cast<const unsigned char*>(p)) - kHeader);
}

inline std::size_t Adjust(std::size_t size)
{
    const std::size_t s = RoundUp(size, ScriptArena::kAlignment);
    return s < kMinPayload ? kMinPayload : s;
}

} // namespace

void ScriptArena::Mapping(std::size_t size, int& fl, int& sl) noexcept
{
    if (size < kSmallBlock)
    {
        fl = 0;
        sl = static_cast<int>(size / kAlignment);
        return;
    }
    const int msb = HighestBit(size);
    sl = static_cast<int>(size >> (msb - kSecondLevelLog2)) ^ kSecondLevelCount;
    fl = msb - (HighestBit(kSmallBlock) - 1);
}

ScriptArena::Block* ScriptArena::FindFree(std::size_t size) noexcept
{
    // Round up to the next list boundary, so every block of the list found is large enough.
    if (size >= kSmallBlock)
        size += (std::size_t{1} << (HighestBit(size) - kSecondLevelLog2)) - 1;
    int fl = 0, sl = 0;
    Mapping(size, fl, sl);
    if (fl >= kFirstLevelCount)
        return nullptr;
    std::uint32_t slMap = m_secondLevel[fl] & (~0u << sl);
    if (!slMap)
    {
        const std::uint64_t flMap = fl + 1 < 64 ? m_firstLevel & (~0ull << (fl + 1)) : 0;
        if (!flMap)
            return nullptr;
        fl = __builtin_ctzll(flMap);
        slMap = m_secondLevel[fl];
    }
    sl = __builtin_ctz(slMap);
    return m_free[fl][sl];
}

void ScriptArena::InsertFree(Block* block) noexcept
{
    int fl = 0, sl = 0;
    Mapping(SizeOf(block), fl, sl);
    Block* head = m_free[fl][sl];
    block->nextFree = head;
    block->prevFree = nullptr;
    if (head)
        head->prevFree = block;
    m_free[fl][sl] = block;
    m_firstLevel |= std::uint64_t{1} << fl;
    m_secondLevel[fl] |= 1u << sl;
}

void ScriptArena::RemoveFree(Block* block) noexcept
{
    int fl = 0, sl = 0;
    Mapping(SizeOf(block), fl, sl);
    if (block->prevFree)
        block->prevFree->nextFree = block->nextFree;
    else
        m_free[fl][sl] = block->nextFree;
    if (block->nextFree)
        block->nextFree->prevFree = block->prevFree;
    if (!m_free[fl][sl])
    {
        m_secondLevel[fl] &= ~(1u << sl);
        if (!m_secondLevel[fl])
            m_firstLevel &= ~(std::uint64_t{1} << fl);
    }
}

void ScriptArena::Release(Block* block) noexcept
{
    block->sizeWord |= kFreeBit;
    Block* next = NextPhys(block);
    if (IsFree(next))
    {
        RemoveFree(next);
        block->sizeWord += kHeader + SizeOf(next);
        NextPhys(block)->prevPhys = block;
    }
    Block* prev = block->prevPhys;
    if (prev && IsFree(prev))
    {
        RemoveFree(prev);
        prev->sizeWord += kHeader + SizeOf(block);
        NextPhys(prev)->prevPhys = prev;
        block = prev;
    }
    InsertFree(block);
}

void ScriptArena::Split(Block* block, std::size_t size) noexcept
{
    const std::size_t have = SizeOf(block);
    if (have < size + kHeader + kMinPayload)
        return;
    auto* rest = reinterpret_cast<Block*>(static_cast<unsigned char*>(Payload(block)) + size);
    rest->prevPhys = block;
    rest->sizeWord = have - size - kHeader;
    block->sizeWord = size | (block->sizeWord & kFreeBit);
    NextPhys(rest)->prevPhys = rest;
    Release(rest);
}

void* ScriptArena::Allocate(std::size_t size) noexcept
{
    if (size == 0 || size > m_capacity)
        return nullptr;
    const std::size_t adjusted = Adjust(size);
    Block* block = FindFree(adjusted);
    if (!block)
        return nullptr;
    RemoveFree(block);
    block->sizeWord &= ~kFreeBit;
    Split(block, adjusted);
    m_used += kHeader + SizeOf(block);
    return Payload(block);
}

void ScriptArena::Free(void* ptr) noexcept
{
    if (!ptr)
        return;
    Block* block = FromPayload(ptr);
    m_used -= kHeader + SizeOf(block);
    Release(block);
}

void* ScriptArena::Reallocate(void* ptr, std::size_t size) noexcept
{
    if (!ptr)
        return Allocate(size);
    if (size == 0)
    {
        Free(ptr);
        return nullptr;
    }
    if (size > m_capacity)
        return nullptr;
    const std::size_t adjusted = Adjust(size);
    Block* block = FromPayload(ptr);
    const std::size_t have = SizeOf(block);
    if (adjusted > have)
    {
        // Grow in place into a free neighbour when it is large enough.
        Block* next = NextPhys(block);
        if (!IsFree(next) || have + kHeader + SizeOf(next) < adjusted)
        {
            void* moved = Allocate(size);
            if (!moved)
                return nullptr;
            std::memcpy(moved, ptr, have);
            Free(ptr);
            return moved;
        }
        RemoveFree(next);
        block->sizeWord += kHeader + SizeOf(next);
        NextPhys(block)->prevPhys = block;
    }
    Split(block, adjusted);
    m_used = m_used + SizeOf(block) - have;
    return ptr;
}

std::size_t ScriptArena::BlockSize(const void* ptr) const noexcept
{
    return ptr ? SizeOf(FromPayload(ptr)) : 0;
}

bool ScriptArena::CheckConsistency() const noexcept
{
    if (!m_memory)
        return true;
    std::size_t used = 0, freeBlocks = 0;
    Block* prev = nullptr;
    auto* b = reinterpret_cast<Block*>(m_memory);
    auto* const end = reinterpret_cast<Block*>(m_memory + m_mapped - kHeader);
    while (b != end)
    {
        if (reinterpret_cast<unsigned char*>(b) > reinterpret_cast<unsigned char*>(end))
            return false;
        const std::size_t size = SizeOf(b);
        if (b->prevPhys != prev || size % kAlignment != 0 || size < kMinPayload)
            return false;
        if (IsFree(b))
        {
            if (prev && IsFree(prev))
                return false; // two free neighbours should have been merged
            ++freeBlocks;
        }
        else
            used += kHeader + size;
        prev = b;
        b = NextPhys(b);
    }
    if (end->prevPhys != prev || SizeOf(end) != 0 || IsFree(end) || used != m_used)
        return false;

    std::size_t listed = 0;
    for (int fl = 0; fl < kFirstLevelCount; ++fl)
    {
        const bool flBit = (m_firstLevel >> fl) & 1;
        if (flBit != (m_secondLevel[fl] != 0))
            return false;
        for (int sl = 0; sl < kSecondLevelCount; ++sl)
        {
            const bool slBit = (m_secondLevel[fl] >> sl) & 1;
            if (slBit != (m_free[fl][sl] != nullptr))
                return false;
            const Block* before = nullptr;
            for (const Block* f = m_free[fl][sl]; f; f = f->nextFree)
            {
                int bfl = 0, bsl = 0;
                Mapping(SizeOf(f), bfl, bsl);
                if (!IsFree(f) || f->prevFree != before || bfl != fl || bsl != sl || !Owns(f) ||
                    ++listed > freeBlocks)
                    return false;
                before = f;
            }
        }
    }
    return listed == freeBlocks;
}

} // namespace TW
