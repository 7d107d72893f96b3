// Rendering never touches the heap: every call to the global allocator (and to the C allocator)
// on the render thread is counted while the instance renders blocks with notes starting,
// sounding and stopping.
#include "core/FactoryPresets.h"
#include "osc/OSCHelper.h"
#include "platform/LogRing.h"
#include "support/LuaTestSupport.h"
#include "support/OSCTestPeer.h"
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

// The paths around rendering that reach beyond the engine: script handlers that set parameters
// (one of them subscribed over OSC, so each change goes to the OSC change queue), GUI switches,
// system-exclusive input (also too long and into a full queue, whose reports go to the log
// ring), and factory presets loaded on the render thread between blocks, as `velluna render`
// does. Only this thread is counted; the OSC tasks may allocate while they send.
TEST(RenderAllocation, ScriptsSubscribedParametersSysExAndPresetsAllocateNothing)
{
    TarnTest::ScratchDataHome home;
    // The pitch wheel also moves the OSC server: off, onto a free port, and onto a port outside
    // the UDP range (a refusal to report).
    const int freeOffset = TarnTest::FreeUDPPort() - 7000;
    home.AddScript("midi.lua",
                   "requestAllCC(function(c, n, v) setParameter('Filter Cutoff', 100 + v * 50) "
                   "setGUIBoolValue(n % 8, v > 63) end)\n"
                   "requestAllNoteOn(function(c, n, v) setParameter(0, v / 127) end)\n"
                   "local offsets = {[0] = 0, " +
                       std::to_string(freeOffset) +
                       ", 70000}\n"
                       "requestPitchWheel(function(c, v) setParameter('Filter Q', v / 16383) "
                       "setParameter('OSC Port Offset', offsets[math.floor(v / 128) % 3]) end)\n");
    TarnTest::TestInstance synth;
    TarnTest::OSCTestPeer peer;
    {
        TarnTest::OSCPacketBuilder p;
        *p << osc::BeginMessage("/registerUpdate") << osc::int32(139) << peer.URL().c_str()
           << "/cutoff" << osc::EndMessage;
        synth->OSC().HandlePacket(p.Data(), p.Size(),
                                  IpEndpointName(IpEndpointName::ANY_ADDRESS, 9));
    }
    synth.Render(256);

    std::vector<float> l(256), r(256);
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, 256 * sizeof(float), l.data()};
    buffers.buffers[1] = {1, 256 * sizeof(float), r.data()};
    std::vector<std::uint8_t> sysex(Tarn::kMaxSysExBytes + 10, 0x11);
    sysex.front() = 0xF0;
    const std::vector<TW::Preset>& presets = Tarn::GetFactoryPresetList();
    std::size_t loads[4] = {3, 3, 3, 3};
    for (std::size_t i = 0; i < presets.size(); ++i)
        if (presets[i].name.size() > presets[loads[0]].name.size())
            loads[0] = loads[2] = i;

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    long total = 0;
    for (int block = 0; block < 120; ++block)
    {
        TarnTest::StartCountingAllocations();
        synth->MidiEvent(0xB0, static_cast<std::uint8_t>(block % 32), block % 128, block % 200);
        if (block % 10 == 0)
            synth->MidiEvent(0x90, static_cast<std::uint8_t>(40 + block / 10), 100, 30);
        if (block % 10 == 5)
            synth->MidiEvent(0xE0, 0, static_cast<std::uint8_t>(block), 60);
        synth->HandleSysEx(sysex.data(), block % 3 ? 40 : static_cast<std::uint32_t>(sysex.size()));
        if (block == 50)
            for (int i = 0; i < 70; ++i) // the queue overflows
                synth->MidiEvent(0xB0, 1, 1, 255);
        if (block % 30 == 29) // the longest names among them
            synth->NewFactoryPresetSet(presets[loads[block / 30]]);
        std::uint32_t flags = 0;
        const TW::Status status = synth->DoRender(flags, {}, 256, buffers);
        total += TarnTest::StopCountingAllocations();
        ASSERT_EQ(status, TW::kNoErr);
    }
    EXPECT_EQ(total, 0);
    TW::LogRing::Get().Flush();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();

    // The paths ran: the scripts set the parameters, the subscriber heard of it, the presets
    // loaded, and the refused messages were reported.
    EXPECT_EQ(synth->GetCurrentPreset().name, presets[loads[3]].name);
    EXPECT_FALSE(peer.ReceiveAll().empty());
    EXPECT_NE(err.find("MessageQueue::Write() overflow"), std::string::npos);
    EXPECT_NE(err.find("longer than the 512-byte limit"), std::string::npos);
    EXPECT_NE(out.find("OSC port 77000 is outside 1..65535"), std::string::npos) << out;
    ASSERT_EQ(synth->MidiEvent(0xB0, 3, 127, 0), TW::kNoErr);
    synth.Render(256);
    EXPECT_EQ(synth->GetParameter(139), 100.0f + 127 * 50);
    EXPECT_EQ(synth->GetDisplayBlock().guiSwitches[3].load(), 1);
}
