// The heavy patch with 32 voices and the modulation effect renders on every path without a
// single call to the global allocator (plain or aligned), note changes and steals included.
#include "support/EnginePatches.h"
#include "support/TestInstance.h"
#include "support/alloc/AllocationCounter.h"

#include <gtest/gtest.h>

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
            TarnTest::StartCountingAllocations();
            const TW::Status status = synth->DoRender(flags, {}, 256, buffers);
            total += TarnTest::StopCountingAllocations();
            ASSERT_EQ(status, TW::kNoErr);
            if (block == 45)
            {
                EXPECT_EQ(synth->Engine().GetNumNotes(), 32);
            }
        }
        EXPECT_EQ(total, 0);
    }
}
