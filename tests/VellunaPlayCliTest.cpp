// velluna play through JACK: a clear failure without a server, and with a dummy-driver server of
// the test's own, a note sent over OSC is heard in the recording.
#include "core/ParameterTable.h"
#include "core/Preferences.h"
#include "support/ChildProcess.h"
#include "support/OSCTestPeer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

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
