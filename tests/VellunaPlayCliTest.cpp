// velluna play through JACK: a clear failure without a server, and with a dummy-driver server of
// the test's own, a note sent over OSC is heard in the recording, and a crowded period of MIDI
// from another JACK client is played exactly as the driver plays it one event per block.
#include "core/ParameterTable.h"
#include "core/Preferences.h"
#include "plugins/driver/PluginInstance.h"
#include "support/ChildProcess.h"
#include "support/OSCTestPeer.h"

#include <gtest/gtest.h>

#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

// "--set" argument moving the OSC port one above the base port.
static const std::string kPortOffsetOne = std::to_string(Tarn::kParamOSCPortOffset) + "=1";

namespace fs = std::filesystem;

namespace
{

std::string Slurp(const fs::path& path)
{
    return TarnTest::ReadTextFile(path);
}

class VellunaPlay : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("velluna-play-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        m_server = "velluna-play-test-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", m_server.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    fs::path m_dir;
    std::string m_server;
};

} // namespace

TEST_F(VellunaPlay, WithoutAJackServerItFailsWithAClearMessage)
{
    TarnTest::ChildProcess play({VELLUNA_CLI, "play", "--audio", "jack", "--seconds", "1"},
                                m_dir / "play.log");
    EXPECT_EQ(play.Wait(), 1);
    EXPECT_NE(Slurp(m_dir / "play.log").find("velluna play: cannot connect to a JACK server"),
              std::string::npos)
        << Slurp(m_dir / "play.log");
}

TEST_F(VellunaPlay, PlaysThroughJackAndRecordsANoteSentOverOSC)
{
    TarnTest::ChildProcess jackd(
        {"jackd", "--no-realtime", "--name", m_server, "-d", "dummy", "-r", "48000", "-p", "256"},
        m_dir / "jackd.log");
    ASSERT_TRUE(jackd.Started());
    std::this_thread::sleep_for(1500ms);

    // The base port from the preferences of a scratch configuration folder.
    setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    const int base = TarnTest::FreeUDPPortRange(2);
    Tarn::SetPrefInt("OSC Base Port", base);
    TarnTest::ChildProcess play({VELLUNA_CLI, "play", "--audio", "jack", "--seconds", "3",
                                 "--record", (m_dir / "jack.wav").string(), "--set",
                                 kPortOffsetOne},
                                m_dir / "play.log");
    std::this_thread::sleep_for(1000ms);
    TarnTest::OSCTestPeer peer;
    TarnTest::OSCPacketBuilder note;
    *note << osc::BeginMessage("/startNote") << osc::int32(60) << 1.0f << osc::EndMessage;
    peer.SendTo(base + 1, note.Data(), static_cast<std::size_t>(note.Size()));
    const int status = play.Wait();
    jackd.Stop(SIGTERM);
    ASSERT_EQ(status, 0) << Slurp(m_dir / "play.log") << Slurp(m_dir / "jackd.log");

    SF_INFO info{};
    SNDFILE* file = sf_open((m_dir / "jack.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.samplerate, 48000);
    std::vector<float> frames(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    float peak = 0.0f;
    for (float v : frames)
        peak = std::max(peak, std::fabs(v));
    EXPECT_GT(info.frames, 48000);
    EXPECT_GT(peak, 0.01f);
}

TEST_F(VellunaPlay, ASignalEndsItWithinTwoSecondsWhateverScriptsAndTheNetworkDo)
{
    // A user script that spins in a timer and offers a spinning function to OSC "/exec".
    setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
    const fs::path scripts = m_dir / "data/Tarnwick/Velluna/Scripts";
    fs::create_directories(scripts);
    std::ofstream(scripts / "spin.lua")
        << "function spin() while true do end end\n"
           "requestPeriodicCallback(0.01, function() while true do end end)\n";
    const int base = TarnTest::FreeUDPPortRange(2);
    Tarn::SetPrefInt("OSC Base Port", base);
    const auto started = [&](const fs::path& log)
    {
        for (int k = 0; k < 100; ++k)
        {
            if (Slurp(log).find("stop with Ctrl-C") != std::string::npos)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    };
    {
        TarnTest::ChildProcess play(
            {VELLUNA_CLI, "play", "--audio", "null", "--set", kPortOffsetOne}, m_dir / "play.log");
        ASSERT_TRUE(started(m_dir / "play.log")) << Slurp(m_dir / "play.log");
        TarnTest::OSCTestPeer peer;
        TarnTest::OSCPacketBuilder exec;
        *exec << osc::BeginMessage("/exec") << "spin" << osc::EndMessage;
        for (int k = 0; k < 4; ++k)
            peer.SendTo(base + 1, exec.Data(), static_cast<std::size_t>(exec.Size()));
        std::this_thread::sleep_for(300ms);
        const auto signalled = std::chrono::steady_clock::now();
        const int status = play.Stop(SIGTERM);
        const auto took = std::chrono::steady_clock::now() - signalled;
        EXPECT_LT(took, 2500ms);
        EXPECT_NE(status, -1) << "killed by the signal instead of ending\n"
                              << Slurp(m_dir / "play.log");
    }
    // Two signals in a row (two different ones, which cannot merge into one pending signal):
    // the second ends it at once, with 128 + its number.
    TarnTest::ChildProcess twice({VELLUNA_CLI, "play", "--audio", "null"}, m_dir / "twice.log");
    ASSERT_TRUE(started(m_dir / "twice.log")) << Slurp(m_dir / "twice.log");
    ::kill(twice.Pid(), SIGTERM);
    ::kill(twice.Pid(), SIGINT);
    const int status = twice.Wait();
    EXPECT_TRUE(status == 128 + SIGINT || status == 128 + SIGTERM) << status;
    const std::string said = Slurp(m_dir / "twice.log");
    EXPECT_NE(said.find("velluna play: second signal: ending at once"), std::string::npos) << said;
}

namespace
{

constexpr std::uint32_t kPeriod = 1024;
constexpr float kAttackSeconds = 0.002f; // the notes are short: let them sound at once

struct JackEvent
{
    std::uint32_t frame;
    std::vector<std::uint8_t> bytes;
    bool playable; // false: no status byte, to be skipped
};

// 200 events of one period, 5 frames apart: 50 notes on, each ended 40 frames later, the pitch
// wheel and channel pressure; and among them two without a status byte: one that running status
// would make a note-on, and a lone data byte.
std::vector<JackEvent> CrowdedPeriod()
{
    const auto key = [](std::uint32_t note)
    { return static_cast<std::uint8_t>(28 + note * 13 % 71); };
    std::vector<JackEvent> events;
    for (std::uint32_t i = 0; i < 200; ++i)
    {
        const std::uint32_t frame = 3 + 5 * i, note = i / 4;
        switch (i % 4)
        {
        case 0:
            events.push_back(
                {frame, {0x90, key(note), static_cast<std::uint8_t>(60 + i % 60)}, true});
            break;
        case 1:
            events.push_back({frame, {0xE0, 0, static_cast<std::uint8_t>(40 + i % 48)}, true});
            break;
        case 2:
            events.push_back({frame, {0x80, key(note >= 2 ? note - 2 : 99), 0}, true});
            break;
        default:
            events.push_back({frame, {0xD1, static_cast<std::uint8_t>(i % 128)}, true});
            break;
        }
        if (i == 0)
            events.push_back({frame + 1, {0x45, 0x64, 0x50}, false});
        if (i == 150)
            events.push_back({frame + 1, {0x7F}, false});
    }
    return events;
}

// Our JACK client: a MIDI output that sends the events in one period when asked.
struct MidiSender
{
    jack_client_t* client = nullptr;
    jack_port_t* out = nullptr;
    const std::vector<JackEvent>* events = nullptr;
    std::atomic<int> state{0}; // 1: send in the next period; 2: sent
    std::atomic<int> refused{0};

    static int Process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<MidiSender*>(arg);
        void* buffer = jack_port_get_buffer(self->out, frames);
        jack_midi_clear_buffer(buffer);
        if (self->state.load() != 1)
            return 0;
        for (const JackEvent& e : *self->events)
            if (jack_midi_event_write(buffer, e.frame, e.bytes.data(), e.bytes.size()) != 0)
                self->refused.fetch_add(1);
        self->state.store(2);
        return 0;
    }
};

// The oracle: the playable events through the driver, each in a block of its own that starts
// at its frame, then whole periods.
std::vector<float> RenderOneEventPerBlock(const std::vector<JackEvent>& events,
                                          std::uint32_t frames)
{
    TW::PluginInstance instance;
    EXPECT_EQ(instance.Activate(48000.0, 8192), TW::kNoErr);
    instance.SetParameter(Tarn::kParamAttack, kAttackSeconds);
    std::vector<float> out, l(kPeriod), r(kPeriod);
    std::uint32_t start = 0;
    const JackEvent* pending = nullptr;
    auto play = [&](std::uint32_t end)
    {
        TW::PluginMidiMessage m{};
        if (pending)
            m = {0, static_cast<std::uint32_t>(pending->bytes.size()), pending->bytes.data()};
        instance.Process(&m, pending ? 1 : 0, l.data(), r.data(), end - start);
        out.insert(out.end(), l.begin(), l.begin() + (end - start));
        start = end;
    };
    for (const JackEvent& e : events)
        if (e.playable)
        {
            if (e.frame > start)
                play(e.frame);
            pending = &e;
        }
    play(kPeriod);
    pending = nullptr;
    while (out.size() < frames)
    {
        start = 0;
        play(kPeriod);
    }
    return out;
}

} // namespace

// 200 events in one JACK period (more than three times what the event queue holds) all arrive,
// in order, at their frames: the recording equals, sample for sample, the same events rendered
// one per block. The events without a status byte are skipped, not played.
TEST_F(VellunaPlay, EveryEventOfACrowdedJackPeriodArrivesAtItsFrame)
{
    TarnTest::ChildProcess jackd({"jackd", "--no-realtime", "--name", m_server, "-d", "dummy", "-r",
                                  "48000", "-p", std::to_string(kPeriod)},
                                 m_dir / "jackd.log");
    ASSERT_TRUE(jackd.Started());
    std::this_thread::sleep_for(1500ms);

    setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
    Tarn::SetPrefInt("OSC Base Port", TarnTest::FreeUDPPortRange(2));
    TarnTest::ChildProcess play(
        {VELLUNA_CLI, "play", "--audio", "jack", "--seconds", "5", "--record",
         (m_dir / "jack.wav").string(), "--set",
         std::to_string(Tarn::kParamAttack) + "=" + std::to_string(kAttackSeconds)},
        m_dir / "play.log");
    for (int k = 0;
         k < 100 && Slurp(m_dir / "play.log").find("stop with Ctrl-C") == std::string::npos; ++k)
        std::this_thread::sleep_for(50ms);

    const std::vector<JackEvent> events = CrowdedPeriod();
    MidiSender sender;
    sender.events = &events;
    jack_status_t status{};
    sender.client = jack_client_open("velluna-play-sender", JackNoStartServer, &status);
    ASSERT_NE(sender.client, nullptr) << Slurp(m_dir / "jackd.log");
    sender.out =
        jack_port_register(sender.client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_NE(sender.out, nullptr);
    jack_set_process_callback(sender.client, &MidiSender::Process, &sender);
    ASSERT_EQ(jack_activate(sender.client), 0);
    EXPECT_EQ(jack_connect(sender.client, "velluna-play-sender:midi_out", "velluna:midi_in"), 0)
        << Slurp(m_dir / "play.log");
    std::this_thread::sleep_for(200ms);
    sender.state.store(1);
    for (int k = 0; k < 100 && sender.state.load() != 2; ++k)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(sender.state.load(), 2);
    EXPECT_EQ(sender.refused.load(), 0);

    const int exit = play.Wait();
    jack_client_close(sender.client);
    jackd.Stop(SIGTERM);
    const std::string log = Slurp(m_dir / "play.log");
    ASSERT_EQ(exit, 0) << log;
    EXPECT_EQ(log.find("overflow"), std::string::npos) << log;
    EXPECT_EQ(log.find("frames lost"), std::string::npos) << log;

    SF_INFO info{};
    SNDFILE* file = sf_open((m_dir / "jack.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> frames(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    std::vector<float> left(frames.size() / 2);
    for (std::size_t i = 0; i < left.size(); ++i)
        left[i] = frames[2 * i];

    // The recording holds whole periods from its start: the first sound's period is the one
    // the events came in.
    constexpr std::uint32_t kCompared = 48000;
    const std::vector<float> expected = RenderOneEventPerBlock(events, kCompared);
    const auto firstSound = [](const std::vector<float>& x)
    {
        return static_cast<std::size_t>(
            std::find_if(x.begin(), x.end(), [](float v) { return v != 0.0f; }) - x.begin());
    };
    const std::size_t heard = firstSound(left), due = firstSound(expected);
    ASSERT_LT(due, static_cast<std::size_t>(kPeriod));
    ASSERT_GT(*std::max_element(expected.begin(), expected.end()), 0.01f);
    ASSERT_LT(heard, left.size()) << "nothing was heard\n" << log;
    EXPECT_EQ(heard % kPeriod, due);
    const std::size_t start = heard - heard % kPeriod;
    ASSERT_GE(left.size(), start + kCompared) << "the recording ends too soon";
    for (std::size_t i = 0; i < kCompared; ++i)
        ASSERT_EQ(left[start + i], expected[i]) << "first difference " << i << " frames into "
                                                << "the period of the events";
}
