// OSC with peers that no one here wrote: liblo's oscsend and oscdump against a running
// `velluna play --audio null`, all on 127.0.0.1. The base port comes from the preferences of a
// temporary XDG_CONFIG_HOME, a user script from a temporary XDG_DATA_HOME.
#include "core/Preferences.h"
#include "core/VellunaVersion.h"
#include "support/ChildProcess.h"
#include "support/OSCTestPeer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace
{

using TarnTest::ChildProcess;

std::string ReadFile(const std::string& path)
{
    return TarnTest::ReadTextFile(path);
}

int RunCommand(const std::string& command)
{
    return std::system(command.c_str());
}

// The lines of oscdump's output, after waiting for at least count of them.
std::vector<std::string> DumpLines(const std::string& path, std::size_t count,
                                   std::chrono::milliseconds limit = 3000ms)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> lines;
    do
    {
        lines.clear();
        std::stringstream text(ReadFile(path));
        for (std::string line; std::getline(text, line);)
            if (!line.empty())
                lines.push_back(line);
        if (lines.size() >= count)
            break;
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < end);
    return lines;
}

// One oscdump line without its time tag: "/path types args".
std::string Message(const std::string& line)
{
    const auto space = line.find(' ');
    return space == std::string::npos ? line : line.substr(space + 1);
}

const char kUserScript[] = R"(
registerOSCPathForParameterNormalized("/cut", "Filter Cutoff")
registerOSCPathForFunction("/fn", function(a, s) setParameter("Filter Q", a) end)
function answer(x) return x * 2, "twice", nil, 5 end
lastChannel = 0
requestAllNoteOn(function(channel, note, velocity) lastChannel = channel end)
function channelSeen() return lastChannel end
)";

class OSCPeers : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ms_dir = fs::temp_directory_path() / ("velluna-osc-peer-" + std::to_string(getpid()));
        fs::create_directories(ms_dir / "config");
        fs::create_directories(ms_dir / "data/Tarnwick/Velluna/Scripts");
        std::ofstream(ms_dir / "data/Tarnwick/Velluna/Scripts/osctest.lua") << kUserScript;
        setenv("XDG_CONFIG_HOME", (ms_dir / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (ms_dir / "data").c_str(), 1);
        ms_base = TarnTest::FreeUDPPortRange(1);
        Tarn::SetPrefInt("OSC Base Port", ms_base);
        ms_port = ms_base + 1;
        ms_play = new ChildProcess({VELLUNA_CLI, "play", "--audio", "null", "--set", "180=1",
                                    "--record", (ms_dir / "played.wav").string()},
                                   (ms_dir / "play.log").string());
        // Ready once it answers a ping.
        TarnTest::OSCTestPeer peer;
        for (int attempt = 0; attempt < 100 && !ms_ready; ++attempt)
        {
            TarnTest::OSCPacketBuilder p;
            *p << osc::BeginMessage("/ping") << peer.URL().c_str() << "/pong" << osc::EndMessage;
            peer.SendTo(ms_port, p.Data(), static_cast<std::size_t>(p.Size()));
            ms_ready = peer.Receive(100ms).has_value();
        }
    }
    static void TearDownTestSuite()
    {
        delete ms_play;
        ms_play = nullptr;
        std::error_code ignored;
        fs::remove_all(ms_dir, ignored);
    }

    void SetUp() override
    {
        ASSERT_TRUE(ms_ready) << ReadFile((ms_dir / "play.log").string());
        m_dumpPort = TarnTest::FreeUDPPort();
        m_dumpFile = (ms_dir / ("dump-" + std::to_string(m_dumpPort) + ".txt")).string();
        m_dump = std::make_unique<ChildProcess>(
            std::vector<std::string>{"oscdump", "-L", std::to_string(m_dumpPort)}, m_dumpFile);
        std::this_thread::sleep_for(200ms);
    }
    void TearDown() override { m_dump.reset(); }

    // oscsend to the instance: "ADDRESS TYPES ARGS...".
    static int Send(const std::string& message)
    {
        return RunCommand("oscsend 127.0.0.1 " + std::to_string(ms_port) + " " + message);
    }
    std::string ReplyURL() const { return "osc.udp://127.0.0.1:" + std::to_string(m_dumpPort); }

    static fs::path ms_dir;
    static int ms_base;
    static int ms_port;
    static bool ms_ready;
    static ChildProcess* ms_play;
    int m_dumpPort = 0;
    std::string m_dumpFile;
    std::unique_ptr<ChildProcess> m_dump;
};

fs::path OSCPeers::ms_dir;
int OSCPeers::ms_base = 0;
int OSCPeers::ms_port = 0;
bool OSCPeers::ms_ready = false;
ChildProcess* OSCPeers::ms_play = nullptr;

} // namespace

TEST_F(OSCPeers, SetGetPingAndInfo)
{
    ASSERT_EQ(Send("/set if 139 3000"), 0);
    ASSERT_EQ(Send("/get iss 139 " + ReplyURL() + " /value"), 0);
    ASSERT_EQ(Send("/ping ss " + ReplyURL() + " /pong"), 0);
    ASSERT_EQ(Send("/getInfo iss 0 " + ReplyURL() + " /info"), 0);
    auto lines = DumpLines(m_dumpFile, 3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Message(lines[0]), "/value if 139 3000.000000");
    EXPECT_EQ(Message(lines[1]), "/pong ss \"osc.udp://127.0.0.1:" + std::to_string(ms_port) +
                                     "\" \"Velluna " + Tarn::kVersionString + "\"");
    EXPECT_EQ(Message(lines[2]), "/info ifffsi 0 0.000000 1.000000 1.000000 \"Volume\" 17");
}

TEST_F(OSCPeers, SubscribersReceiveEachChange)
{
    ASSERT_EQ(Send("/registerUpdate iss 140 " + ReplyURL() + " /q"), 0);
    ASSERT_EQ(Send("/registerUpdate iss 140 " + ReplyURL() + " /q"), 0);
    ASSERT_EQ(Send("/set if 140 0.5"), 0);
    ASSERT_EQ(Send("/set if 140 0.25"), 0);
    auto lines = DumpLines(m_dumpFile, 2);
    std::this_thread::sleep_for(200ms);
    lines = DumpLines(m_dumpFile, 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Message(lines[0]), "/q if 140 0.500000");
    EXPECT_EQ(Message(lines[1]), "/q if 140 0.250000");
    ASSERT_EQ(Send("/unregisterUpdate iss 140 " + ReplyURL() + " /q"), 0);
}

TEST_F(OSCPeers, TarnAddressesAndRegisteredPaths)
{
    // The only instance of the process is number 1 and the first "Velluna".
    ASSERT_EQ(Send("/tarn/1/139 f 4000"), 0);
    ASSERT_EQ(Send("/get iss 139 " + ReplyURL() + " /a"), 0);
    ASSERT_EQ(Send("/tarn/Velluna/*/140 f 0.75"), 0);
    ASSERT_EQ(Send("/get iss 140 " + ReplyURL() + " /b"), 0);
    // The script's paths: normalized cutoff, and a function that sets "Filter Q".
    ASSERT_EQ(Send("/cut f 0.5"), 0);
    ASSERT_EQ(Send("/get iss 139 " + ReplyURL() + " /c"), 0);
    ASSERT_EQ(Send("/fn fs 0.3 x"), 0);
    ASSERT_EQ(Send("/get iss 140 " + ReplyURL() + " /d"), 0);
    auto lines = DumpLines(m_dumpFile, 4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(Message(lines[0]), "/a if 139 4000.000000");
    EXPECT_EQ(Message(lines[1]), "/b if 140 0.750000");
    EXPECT_EQ(Message(lines[2]), "/c if 139 6025.000000");
    EXPECT_EQ(Message(lines[3]), "/d if 140 0.300000");
}

TEST_F(OSCPeers, CallRepliesWithResultsUpToTheFirstNil)
{
    ASSERT_EQ(Send("/call sssf answer " + ReplyURL() + " /answer 21"), 0);
    auto lines = DumpLines(m_dumpFile, 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Message(lines[0]), "/answer fs 42.000000 \"twice\"");
}

TEST_F(OSCPeers, NotesReachScriptsOnChannelTwoSoundAndAreRecorded)
{
    ASSERT_EQ(Send("/set if 139 6000"), 0);
    ASSERT_EQ(Send("/startNote if 57 0.9"), 0);
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(Send("/call sss channelSeen " + ReplyURL() + " /ch"), 0);
    auto lines = DumpLines(m_dumpFile, 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Message(lines[0]), "/ch f 2.000000");
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(Send("/stopNote if 57 0"), 0);
    std::this_thread::sleep_for(200ms);

    // SIGTERM ends the player cleanly, with the recording finished.
    const std::string logPath = (ms_dir / "play.log").string();
    ASSERT_EQ(ms_play->Stop(SIGTERM), 0) << ReadFile(logPath);
    const std::string log = ReadFile(logPath);
    EXPECT_NE(log.find("stopped by SIGTERM"), std::string::npos) << log;
    SF_INFO info{};
    SNDFILE* file = sf_open((ms_dir / "played.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << log;
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_GT(info.frames, 48000 / 2);
    std::vector<float> frames(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    float peak = 0.0f;
    for (float v : frames)
        peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.01f) << "the note played over OSC is not in the recording";
}
