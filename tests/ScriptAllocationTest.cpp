// Script handlers on the render thread never reach the system allocator: the bundled controller
// mappings and a user handler that builds strings and tables allocate only from the
// interpreter's own arena.
#include "support/LuaTestSupport.h"
#include "support/TestInstance.h"
#include "support/alloc/AllocationCounter.h"

#include <gtest/gtest.h>

TEST(ScriptAllocation, HandlersAllocateNothingOnTheRenderThread)
{
    TarnTest::ScratchDataHome home; // no user scripts: the bundled mappings load
    TarnTest::TestInstance synth;
    ASSERT_EQ(TarnTest::LuaString(synth->LuaHelper(), "type(defaultControllerMap)"), "table");
    ASSERT_EQ(TarnTest::RunLua(synth->LuaHelper(),
                               "requestAllNoteOn(function(c, n, v)\n"
                               "  local t = {name = 'note ' .. n, c, v}; seen = t.name end)"),
              "");
    synth.Render(256); // the test host's own buffers grow first

    std::vector<float> l(256), r(256);
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, 256 * sizeof(float), l.data()};
    buffers.buffers[1] = {1, 256 * sizeof(float), r.data()};
    // Controllers of the bundled map (curves built on first use included), NRPN data entry, and
    // notes for the user handler.
    const std::uint8_t events[][3] = {{0xB0, 7, 100}, {0xB0, 74, 64},  {0xB0, 93, 30},
                                      {0xB0, 1, 5},   {0xB0, 71, 100}, {0xB0, 99, 0},
                                      {0xB0, 98, 0},  {0xB0, 6, 64},   {0xB0, 38, 1},
                                      {0x90, 60, 90}, {0x90, 64, 90},  {0x80, 60, 0}};
    long total = 0;
    for (int round = 0; round < 20; ++round)
        for (const auto& e : events)
        {
            ASSERT_EQ(synth->MidiEvent(e[0], e[1], e[2], 7), TW::kNoErr);
            std::uint32_t flags = 0;
            TarnTest::StartCountingAllocations();
            const TW::Status status = synth->DoRender(flags, {}, 256, buffers);
            total += TarnTest::StopCountingAllocations();
            ASSERT_EQ(status, TW::kNoErr);
        }
    EXPECT_EQ(total, 0);
    EXPECT_EQ(TarnTest::LuaString(synth->LuaHelper(), "seen"), "note 64");
}
