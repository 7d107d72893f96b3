// The heavy patch with 32 voices and the modulation effect renders on every path without a
// single call to the global allocator (plain or aligned), note changes and steals included.
#include "support/EnginePatches.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* Allocate(std::size_t size, std::size_t alignment)
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    size = size ? size : 1;
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(size)
                  : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (!p)
        throw std::bad_alloc();
    return p;
}
} // namespace

void* operator new(std::size_t size)
{
    return Allocate(size, 0);
}
void* operator new[](std::size_t size)
{
    return Allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a)
{
    return Allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a)
{
    return Allocate(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}

TEST(EngineAllocation, HeavyPatchWith32VoicesAllocatesNothingOnAnyPath)
{
    for (Tarn::EnginePath path :
         {Tarn::EnginePath::Scalar, Tarn::EnginePath::Sse2, Tarn::EnginePath::Avx2})
    {
        if (!Tarn::IsEnginePathSupported(path))
            continue;
        SCOPED_TRACE(Tarn::EnginePathName(path));
        TarnTest::TestInstance synth;
        TarnTest::SetHeavyPatch(synth->Globals());
        synth->Engine().SetPath(path);
        synth.Render(256); // the test host's own buffers grow here

        std::vector<float> l(256), r(256);
        TW::AudioBufferList buffers;
        buffers.numberBuffers = 2;
        buffers.buffers[0] = {1, 256 * sizeof(float), l.data()};
        buffers.buffers[1] = {1, 256 * sizeof(float), r.data()};
        long total = 0;
        for (int block = 0; block < 80; ++block)
        {
            if (block < 36) // 36 notes: the pool fills and the last four steal
                synth->MidiEvent(0x90, static_cast<std::uint8_t>(30 + block), 100,
                                 (block * 53) % 256);
            if (block == 50)
                synth->MidiEvent(0xE0, 0, 90, 17);
            if (block == 60)
                synth->MidiEvent(0xB0, 123, 0, 100);
            std::uint32_t flags = 0;
            g_allocations = 0;
            g_counting = true;
            const TW::Status status = synth->DoRender(flags, {}, 256, buffers);
            g_counting = false;
            ASSERT_EQ(status, TW::kNoErr);
            total += g_allocations.load();
            if (block == 45)
            {
                EXPECT_EQ(synth->Engine().GetNumNotes(), 32);
            }
        }
        EXPECT_EQ(total, 0);
    }
}
