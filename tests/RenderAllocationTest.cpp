// Rendering never touches the heap: every call to the global allocator is counted while the
// instance renders blocks with notes starting, sounding and stopping.
#include "support/TestInstance.h"
#include "support/alloc/AllocationCounter.h"

#include <gtest/gtest.h>

TEST(RenderAllocation, RenderingAllocatesNothing)
{
    TarnTest::TestInstance synth;
    // The modulation effect and a moving filter run too.
    ASSERT_EQ(synth.Set(162, 1.0f), TW::kNoErr);
    ASSERT_EQ(synth.Set(141, 2.0f), TW::kNoErr);
    ASSERT_EQ(synth.Set(143, 1.0f), TW::kNoErr);
    synth.Render(256); // let the buffers of the test host itself grow first

    std::vector<float> l(512), r(512);
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, 512 * sizeof(float), l.data()};
    buffers.buffers[1] = {1, 512 * sizeof(float), r.data()};

    long total = 0;
    for (int block = 0; block < 200; ++block)
    {
        // 40 notes over the first blocks: more than the voice pool, so voices are stolen.
        if (block < 40)
            synth->MidiEvent(0x90, static_cast<std::uint8_t>(40 + block), 100, (block * 37) % 512);
        if (block == 60)
            synth->MidiEvent(0xB0, 64, 127, 10);
        if (block >= 80 && block < 120)
            synth->MidiEvent(0x80, static_cast<std::uint8_t>(block - 40), 0, 5);
        if (block == 130)
            synth->MidiEvent(0xE0, 0, 100, 0);
        if (block == 140)
            synth->MidiEvent(0xB0, 64, 0, 300);
        if (block == 150)
            synth->MidiEvent(0xB0, 123, 0, 0);
        std::uint32_t flags = 0;
        TarnTest::StartCountingAllocations();
        const TW::Status status = synth->DoRender(flags, {}, 512, buffers);
        total += TarnTest::StopCountingAllocations();
        ASSERT_EQ(status, TW::kNoErr);
    }
    EXPECT_EQ(total, 0);
}
