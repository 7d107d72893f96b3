// The built CLAP library loaded through clap_entry as a host loads it.
#include "ClapHost.h"
#include "AudioChecks.h"
#include "UserFolders.h"

#include "core/ParameterTable.h"
#include "plugins/driver/PluginStateCodec.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>

using namespace VellunaHostTest;

namespace
{

constexpr double kRate = 48000.0;
constexpr std::uint32_t kBlock = 256;
constexpr clap_id kProgram = 1000;

class ClapHostTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ms_oscBasePort = IsolateUserFolders();
        ms_library = new ClapLibrary(VELLUNA_CLAP_FILE);
    }
    static void TearDownTestSuite()
    {
        delete ms_library;
        ms_library = nullptr;
    }
    void SetUp() override { ASSERT_NE(ms_library->Factory(), nullptr) << VELLUNA_CLAP_FILE; }

    static ClapLibrary* ms_library;
    static int ms_oscBasePort;
};

ClapLibrary* ClapHostTest::ms_library = nullptr;
int ClapHostTest::ms_oscBasePort = 0;

// Sends the OSC message "/set" (i id, f value) to 127.0.0.1:port.
void SendOscSet(int port, std::int32_t id, float value)
{
    std::vector<std::uint8_t> packet = {'/', 's', 'e', 't', 0, 0, 0, 0, ',', 'i', 'f', 0};
    auto be32 = [&](std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            packet.push_back(static_cast<std::uint8_t>(v >> (24 - 8 * i)));
    };
    be32(static_cast<std::uint32_t>(id));
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    be32(bits);
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::close(fd);
}

// The value stored for id in a saved state's "data" block; changes it to newValue.
bool ReplaceSavedValue(std::vector<std::uint8_t>& bytes, std::uint32_t id, float newValue)
{
    TW::ClassInfoDictionary state;
    std::string error;
    if (!TW::DecodePluginState(std::string(bytes.begin(), bytes.end()), state, error))
        return false;
    auto* data = std::get_if<std::vector<std::uint8_t>>(&state["data"]);
    if (!data)
        return false;
    auto be32 = [&](std::size_t at)
    {
        return (std::uint32_t((*data)[at]) << 24) | (std::uint32_t((*data)[at + 1]) << 16) |
               (std::uint32_t((*data)[at + 2]) << 8) | std::uint32_t((*data)[at + 3]);
    };
    for (std::size_t at = 12; at + 8 <= data->size(); at += 8)
        if (be32(at) == id)
        {
            std::uint32_t bits;
            std::memcpy(&bits, &newValue, 4);
            for (int i = 0; i < 4; ++i)
                (*data)[at + 4 + i] = static_cast<std::uint8_t>(bits >> (24 - 8 * i));
            const std::string text = TW::EncodePluginState(state);
            bytes.assign(text.begin(), text.end());
            return true;
        }
    return false;
}

TEST_F(ClapHostTest, FactoryDescribesOneInstrument)
{
    const clap_plugin_factory_t* f = ms_library->Factory();
    ASSERT_EQ(f->get_plugin_count(f), 1u);
    const clap_plugin_descriptor_t* d = f->get_plugin_descriptor(f, 0);
    EXPECT_STREQ(d->id, "com.tarnwick.velluna");
    EXPECT_STREQ(d->name, "Velluna");
    std::set<std::string> features;
    for (const char* const* p = d->features; *p; ++p)
        features.insert(*p);
    EXPECT_TRUE(features.count("instrument"));
    clap_host_t host{};
    host.clap_version = CLAP_VERSION;
    EXPECT_EQ(f->create_plugin(f, &host, "com.other.plugin"), nullptr);
}

TEST_F(ClapHostTest, PortsAndParametersFollowTheParameterTable)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    const auto* audio = static_cast<const clap_plugin_audio_ports_t*>(
        clap.Plugin()->get_extension(clap.Plugin(), CLAP_EXT_AUDIO_PORTS));
    const auto* notes = static_cast<const clap_plugin_note_ports_t*>(
        clap.Plugin()->get_extension(clap.Plugin(), CLAP_EXT_NOTE_PORTS));
    ASSERT_TRUE(audio && notes);
    EXPECT_EQ(audio->count(clap.Plugin(), true), 0u);
    ASSERT_EQ(audio->count(clap.Plugin(), false), 1u);
    clap_audio_port_info_t port{};
    ASSERT_TRUE(audio->get(clap.Plugin(), 0, false, &port));
    EXPECT_EQ(port.channel_count, 2u);
    ASSERT_EQ(notes->count(clap.Plugin(), true), 1u);
    clap_note_port_info_t notePort{};
    ASSERT_TRUE(notes->get(clap.Plugin(), 0, true, &notePort));
    EXPECT_TRUE(notePort.supported_dialects & CLAP_NOTE_DIALECT_MIDI);

    const clap_plugin_params_t* params = clap.Params();
    ASSERT_EQ(params->count(clap.Plugin()), 141u);
    std::set<clap_id> ids;
    for (std::uint32_t i = 0; i < 141; ++i)
    {
        clap_param_info_t info{};
        ASSERT_TRUE(params->get_info(clap.Plugin(), i, &info));
        ids.insert(info.id);
        if (info.id == kProgram)
            continue;
        ASSERT_LT(info.id, Tarn::kNumParams);
        EXPECT_EQ(Tarn::GetParamKind(info.id), Tarn::ParamKind::Live) << info.id;
        const Tarn::ParamInfo& p = Tarn::astParamInfos[info.id];
        EXPECT_STREQ(info.name, p.name);
        EXPECT_DOUBLE_EQ(info.min_value, p.minValue);
        EXPECT_DOUBLE_EQ(info.max_value, p.maxValue);
        EXPECT_DOUBLE_EQ(info.default_value, p.defaultValue);
        EXPECT_DOUBLE_EQ(clap.Value(info.id), p.defaultValue);
        // Indexed, boolean and semitone parameters take whole numbers.
        EXPECT_EQ((info.flags & CLAP_PARAM_IS_STEPPED) != 0,
                  p.unit == 1 || p.unit == 2 || p.unit == TW::kUnitRelativeSemiTones)
            << info.id;
    }
    EXPECT_EQ(ids.size(), 141u);
    EXPECT_TRUE(ids.count(kProgram));
    clap_param_info_t info{};
    EXPECT_FALSE(params->get_info(clap.Plugin(), 141, &info));
}

TEST_F(ClapHostTest, ValueTextUsesTheInstrumentsStrings)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    EXPECT_EQ(clap.Text(83, 0.0), "None");
    EXPECT_EQ(clap.Text(83, 3.0), "3");
    EXPECT_EQ(clap.Text(179, 2.0), "100");
    EXPECT_EQ(clap.Text(141, 2.004), "Band");
    EXPECT_EQ(clap.Text(141, 4.0), "Thru");
    EXPECT_EQ(clap.Text(59, 5.0), "Inf");
    EXPECT_EQ(clap.Text(59, 4.5), "4.5 s");
    EXPECT_EQ(clap.Text(180, 0.0), "Off");
    EXPECT_EQ(clap.Text(139, 1000.0), "1000 Hz");
    EXPECT_EQ(clap.Text(17, 0.0), "(none)"); // reserved: not a listed parameter

    double v = -1.0;
    const clap_plugin_params_t* params = clap.Params();
    EXPECT_TRUE(params->text_to_value(clap.Plugin(), 59, "Inf", &v));
    EXPECT_DOUBLE_EQ(v, 5.0);
    EXPECT_TRUE(params->text_to_value(clap.Plugin(), 141, "High", &v));
    EXPECT_DOUBLE_EQ(v, 3.0);
    EXPECT_TRUE(params->text_to_value(clap.Plugin(), 175, "10", &v));
    EXPECT_DOUBLE_EQ(v, 1.0);
    EXPECT_TRUE(params->text_to_value(clap.Plugin(), 139, "2500 Hz", &v));
    EXPECT_DOUBLE_EQ(v, 2500.0);
    EXPECT_FALSE(params->text_to_value(clap.Plugin(), 139, "loud", &v));
}

TEST_F(ClapHostTest, NotesSoundAtTheirOffsetAndPitch)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    clap.Process();
    clap.NoteOn(100, 69, 0.8);
    clap.ProcessFrames(48000);
    const long onset = FirstSoundingFrame(clap.Left());
    EXPECT_GE(onset, static_cast<long>(kBlock + 100));
    EXPECT_LT(onset, static_cast<long>(kBlock + 100 + 16));
    EXPECT_NEAR(ZeroCrossingPitch(clap.Left(), 12000, 36000, kRate), 440.0, 2.0);

    ClapInstance midi(*ms_library, kRate, kBlock);
    midi.Midi(40, 0x90, 57, 100); // A3 as a MIDI message
    midi.ProcessFrames(48000);
    EXPECT_GE(FirstSoundingFrame(midi.Right()), 40);
    EXPECT_NEAR(ZeroCrossingPitch(midi.Left(), 12000, 36000, kRate), 220.0, 1.0);
}

TEST_F(ClapHostTest, ProgramLoadsAFactoryPresetAndReportsItsValues)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    EXPECT_EQ(clap.Text(kProgram, 15.0), "KV Chimes 1");
    clap.SetParam(0, kProgram, 6.0); // "PW Dive"
    clap.Process();
    ASSERT_TRUE(clap.RunMainThreadCallback());
    clap.Outputs().clear();
    clap.Flush();
    std::map<clap_id, double> reported(clap.Outputs().begin(), clap.Outputs().end());
    EXPECT_DOUBLE_EQ(reported[160], -24.0); // Coarse Tune
    EXPECT_FLOAT_EQ(static_cast<float>(reported[139]), 291.375f);
    EXPECT_DOUBLE_EQ(reported[kProgram], 6.0);
    EXPECT_DOUBLE_EQ(clap.Value(160), -24.0);
    EXPECT_DOUBLE_EQ(clap.Value(kProgram), 6.0);
}

TEST_F(ClapHostTest, ScriptChangesReachTheHostAsOutputEvents)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    clap.Midi(10, 0xB0, 7, 64); // the default script maps CC 7 to "Volume"
    clap.Process();
    std::map<clap_id, double> reported(clap.Outputs().begin(), clap.Outputs().end());
    ASSERT_EQ(reported.count(0), 1u);
    EXPECT_NEAR(reported[0], 64.0 / 127.0, 1e-6);
    EXPECT_NEAR(clap.Value(0), 64.0 / 127.0, 1e-6);
}

TEST_F(ClapHostTest, EachInstanceAnswersOscOnItsOwnPortAndTheHostHearsTheChange)
{
    ASSERT_GT(ms_oscBasePort, 0);
    ClapInstance a(*ms_library, kRate, kBlock);
    ClapInstance b(*ms_library, kRate, kBlock);
    ASSERT_TRUE(a.Valid() && b.Valid());
    a.SetParam(0, 180, 1.0); // "OSC Port Offset": base + 1
    b.SetParam(0, 180, 2.0);
    a.Process();
    b.Process();
    a.Outputs().clear();
    b.Outputs().clear();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((a.Value(0) != 0.25 || b.Value(0) != 0.75) &&
           std::chrono::steady_clock::now() < deadline)
    {
        SendOscSet(ms_oscBasePort + 1, 0, 0.25f);
        SendOscSet(ms_oscBasePort + 2, 0, 0.75f);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        a.Process();
        b.Process();
    }
    EXPECT_DOUBLE_EQ(a.Value(0), 0.25);
    EXPECT_DOUBLE_EQ(b.Value(0), 0.75);
    ASSERT_FALSE(a.Outputs().empty());
    ASSERT_FALSE(b.Outputs().empty());
    EXPECT_EQ(a.Outputs().back(), std::make_pair(clap_id{0}, 0.25));
    EXPECT_EQ(b.Outputs().back(), std::make_pair(clap_id{0}, 0.75));
}

TEST_F(ClapHostTest, ResetSilencesEveryVoice)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    clap.NoteOn(0, 60, 0.8);
    clap.NoteOn(0, 64, 0.8);
    clap.ProcessFrames(4800);
    ASSERT_GT(Peak(clap.Left(), clap.Left().size() - kBlock), 0.001f);
    clap.Plugin()->reset(clap.Plugin());
    const std::size_t before = clap.Left().size();
    clap.Process();
    EXPECT_EQ(Peak(clap.Left(), before), 0.0f);
}

TEST(ClapBundleTest, ScriptsAreReadFromBesideTheLoadedLibrary)
{
    IsolateUserFolders();
    // A copy of the plug-in whose own "midi.lua" maps every controller to "Filter Cutoff".
    char pattern[] = "/tmp/velluna-clap-copy-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const std::string library = dir + "/Velluna.clap";
    {
        std::ifstream in(VELLUNA_CLAP_FILE, std::ios::binary);
        std::ofstream out(library, std::ios::binary);
        out << in.rdbuf();
    }
    ::mkdir((dir + "/resources").c_str(), 0755);
    std::ofstream(dir + "/resources/midi.lua")
        << "requestAllCC(function(channel, controller, value)\n"
           "    setParameter(\"Filter Cutoff\", 5000)\n"
           "end)\n";

    {
        ClapLibrary copy(library.c_str());
        ASSERT_NE(copy.Factory(), nullptr);
        ClapInstance clap(copy, kRate, kBlock);
        ASSERT_TRUE(clap.Valid());
        clap.Midi(0, 0xB0, 7, 64);
        clap.Process();
        EXPECT_DOUBLE_EQ(clap.Value(139), 5000.0);
        EXPECT_DOUBLE_EQ(clap.Value(0), 1.0); // the default script's mapping is not there
    }
    std::remove((dir + "/resources/midi.lua").c_str());
    ::rmdir((dir + "/resources").c_str());
    std::remove(library.c_str());
    ::rmdir(dir.c_str());
}

TEST_F(ClapHostTest, HostChangesAreNotEchoedBack)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    clap.SetParam(0, 139, 3000.0);
    clap.Process();
    EXPECT_DOUBLE_EQ(clap.Value(139), 3000.0);
    EXPECT_TRUE(clap.Outputs().empty());
}

TEST_F(ClapHostTest, StateRoundTripsAndOldLfoSpeedsAreReportedAfterConversion)
{
    ClapInstance a(*ms_library, kRate, kBlock);
    ASSERT_TRUE(a.Valid());
    a.SetParam(0, 160, 12.0); // one octave up
    a.Process();
    std::vector<std::uint8_t> state = a.SaveState();
    ASSERT_FALSE(state.empty());

    ClapInstance b(*ms_library, kRate, kBlock);
    ASSERT_TRUE(b.LoadState(state));
    EXPECT_DOUBLE_EQ(b.Value(160), 12.0);
    EXPECT_GE(b.Rescans(), 1);
    b.NoteOn(0, 69, 0.8);
    b.ProcessFrames(48000);
    EXPECT_NEAR(ZeroCrossingPitch(b.Left(), 12000, 36000, kRate), 880.0, 4.0);

    // A state saved by an older version with "LFO 2 Speed" 250 Hz: the instrument converts it
    // to 25 Hz with multiplier "10" and the host hears of both changes.
    ASSERT_TRUE(ReplaceSavedValue(state, 118, 250.0f));
    ClapInstance c(*ms_library, kRate, kBlock);
    ASSERT_TRUE(c.LoadState(state));
    c.Flush();
    std::map<clap_id, double> reported(c.Outputs().begin(), c.Outputs().end());
    EXPECT_FLOAT_EQ(static_cast<float>(reported[118]), 25.0f);
    EXPECT_DOUBLE_EQ(reported[175], 1.0);
    EXPECT_FLOAT_EQ(static_cast<float>(c.Value(118)), 25.0f);
}

TEST_F(ClapHostTest, DamagedStateIsRefusedAndChangesNothing)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    clap.SetParam(0, 139, 3000.0);
    clap.Process();
    const std::string junk = "not a saved state\n\x01\x02";
    EXPECT_FALSE(clap.LoadState(std::vector<std::uint8_t>(junk.begin(), junk.end())));
    EXPECT_FALSE(clap.LoadState({}));
    EXPECT_DOUBLE_EQ(clap.Value(139), 3000.0);
}

TEST_F(ClapHostTest, SeveralInstancesRenderIndependently)
{
    ClapInstance a(*ms_library, kRate, kBlock);
    ClapInstance b(*ms_library, kRate, kBlock);
    ASSERT_TRUE(a.Valid() && b.Valid());
    a.NoteOn(0, 69, 0.8);
    a.ProcessFrames(24000);
    b.ProcessFrames(24000);
    EXPECT_GT(Peak(a.Left()), 0.01f);
    EXPECT_EQ(Peak(b.Left()), 0.0f);
}

} // namespace
