// The built CLAP library loaded through clap_entry as a host loads it; its editor embedded in a
// host window on an Xvfb of the suite's own, driven by real input.
#include "ClapHost.h"
#include "AudioChecks.h"
#include "SkinKnobs.h"
#include "UserFolders.h"
#include "support/X11HostWindow.h"
#include "support/XvfbServer.h"

#include "core/ParameterTable.h"
#include "plugins/driver/PluginStateCodec.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>

using namespace VellunaHostTest;
using TarnTest::X11HostWindow;

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

// ---- The editor ----

using namespace std::chrono_literals;

class ClapGuiTest : public ClapHostTest
{
protected:
    static void SetUpTestSuite()
    {
        ClapHostTest::SetUpTestSuite();
        ms_server = new TarnTest::XvfbServer;
        if (ms_server->Name().empty())
            return;
        // The plug-in opens $DISPLAY, as it does in a host.
        ::setenv("DISPLAY", ms_server->Name().c_str(), 1);
        ms_knobs = ShippedSkinKnobs(ms_server->Name(), &ms_designWidth, &ms_designHeight);
    }
    static void TearDownTestSuite()
    {
        delete ms_server;
        ms_server = nullptr;
        ClapHostTest::TearDownTestSuite();
    }
    void SetUp() override
    {
        ClapHostTest::SetUp();
        ASSERT_FALSE(ms_server->Name().empty()) << "Xvfb did not start";
        ASSERT_GE(ms_knobs.size(), 4u) << "no knobs in the shipped skin";
    }

    // The host's side of opening the editor, in the order CLAP gives: create, scale, size,
    // parent, show. Returns the size it got.
    static ::testing::AssertionResult Open(ClapInstance& clap, const X11HostWindow& parent,
                                           std::uint32_t& width, std::uint32_t& height)
    {
        const clap_plugin_gui_t* gui = clap.Gui();
        const clap_plugin_t* p = clap.Plugin();
        if (!gui || !gui->create(p, CLAP_WINDOW_API_X11, false))
            return ::testing::AssertionFailure() << "create failed";
        if (!gui->set_scale(p, 1.0) || !gui->get_size(p, &width, &height))
            return ::testing::AssertionFailure() << "no size";
        clap_window_t window{};
        window.api = CLAP_WINDOW_API_X11;
        window.x11 = parent.Id();
        if (!gui->set_parent(p, &window) || !gui->show(p))
            return ::testing::AssertionFailure() << "not shown in 0x" << std::hex << parent.Id();
        return ::testing::AssertionSuccess();
    }

    // The host's loop until done() holds or the limit passes: its own connection synced, the
    // plug-in's timers run, then a block processed or, while not processing, a flush when the
    // plug-in asked for one.
    static bool HostLoop(ClapInstance& clap, X11HostWindow& window,
                         const std::function<bool()>& done, std::chrono::milliseconds limit = 5s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end)
        {
            window.Sync();
            clap.RunTimers();
            if (clap.Processing())
                clap.Process();
            else if (clap.TakeFlushRequest())
                clap.Flush();
            if (done())
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    // The editor's window inside the host's, once it shows the panel (many colours).
    static unsigned long ShownEditor(ClapInstance& clap, X11HostWindow& parent)
    {
        unsigned long editor = 0;
        HostLoop(clap, parent,
                 [&]
                 {
                     const auto children = parent.Children();
                     editor = children.size() == 1 ? children[0] : 0;
                     return editor && parent.Colours(editor) > 200;
                 });
        return editor;
    }

    // Drags the knob up 40 pixels: the host must see one gesture on its parameter holding its
    // values, the last of them the value the plug-in reports, above where the knob started.
    static ::testing::AssertionResult DragKnob(ClapInstance& clap, X11HostWindow& parent,
                                               unsigned long editor, const KnobSpot& knob)
    {
        const auto id = static_cast<clap_id>(knob.id);
        const double start = Tarn::astParamInfos[id].minValue;
        clap.SetParam(0, id, start);
        if (clap.Processing())
            clap.Process();
        else
            clap.Flush();
        clap.Log().clear();
        parent.Drag(editor, knob.x, knob.y, 0, -40, 4);
        using Event = ClapInstance::OutputEvent;
        auto ended = [&]
        {
            for (const Event& e : clap.Log())
                if (e.type == CLAP_EVENT_PARAM_GESTURE_END)
                    return true;
            return false;
        };
        if (!HostLoop(clap, parent, ended))
            return ::testing::AssertionFailure() << "no gesture end for " << id;
        // A while longer: nothing of the drag may come after its end either.
        HostLoop(
            clap, parent, [] { return false; }, 100ms);
        int state = 0; // 0: before the begin, 1: inside, 2: after the end
        int values = 0;
        double last = start;
        for (const Event& e : clap.Log())
        {
            if (e.id != id)
                return ::testing::AssertionFailure() << "event on " << e.id << ", dragged " << id;
            if (e.type == CLAP_EVENT_PARAM_GESTURE_BEGIN && state++ != 0)
                return ::testing::AssertionFailure() << "a second begin on " << id;
            if (e.type == CLAP_EVENT_PARAM_GESTURE_END && state++ != 1)
                return ::testing::AssertionFailure() << "an end outside the gesture on " << id;
            if (e.type == CLAP_EVENT_PARAM_VALUE)
            {
                if (state != 1)
                    return ::testing::AssertionFailure() << "a value outside the gesture";
                ++values;
                last = e.value;
            }
        }
        if (state != 2 || values == 0)
            return ::testing::AssertionFailure() << "gesture incomplete on " << id;
        if (last != clap.Value(id) || !(last > start))
            return ::testing::AssertionFailure() << "last value " << last << ", plug-in's "
                                                 << clap.Value(id) << ", from " << start;
        return ::testing::AssertionSuccess() << values << " values";
    }

    static TarnTest::XvfbServer* ms_server;
    static std::vector<KnobSpot> ms_knobs;
    static int ms_designWidth;
    static int ms_designHeight;
};

TarnTest::XvfbServer* ClapGuiTest::ms_server = nullptr;
std::vector<KnobSpot> ClapGuiTest::ms_knobs;
int ClapGuiTest::ms_designWidth = 0;
int ClapGuiTest::ms_designHeight = 0;

TEST_F(ClapGuiTest, EditorDrawsInTheHostWindowAndKnobDragsReachTheHostAsGestures)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    const clap_plugin_gui_t* gui = clap.Gui();
    const clap_plugin_t* p = clap.Plugin();
    ASSERT_NE(gui, nullptr);
    EXPECT_TRUE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_WAYLAND, false));
    EXPECT_FALSE(gui->create(p, CLAP_WINDOW_API_X11, true));
    EXPECT_EQ(clap.TimerCount(), 0u);
    // Embedded only: no showing before the host has given its window.
    ASSERT_TRUE(gui->create(p, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->show(p));
    gui->destroy(p);

    X11HostWindow parent(ms_server->Name(), 0, 0, ms_designWidth, ms_designHeight);
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(Open(clap, parent, width, height));
    EXPECT_EQ(width, static_cast<std::uint32_t>(ms_designWidth));
    EXPECT_EQ(height, static_cast<std::uint32_t>(ms_designHeight));
    // One timer pumps the editor, at the rate the host is asked for.
    ASSERT_EQ(clap.TimerCount(), 1u);
    EXPECT_LE(clap.TimerPeriods().back(), 50u);

    const unsigned long editor = ShownEditor(clap, parent);
    ASSERT_NE(editor, 0u) << "the panel does not show in the host's window";
    int shownWidth = 0, shownHeight = 0;
    ASSERT_TRUE(parent.Size(editor, shownWidth, shownHeight));
    EXPECT_EQ(shownWidth, ms_designWidth);
    EXPECT_EQ(shownHeight, ms_designHeight);

    // While the host processes, the events come with the blocks; once it has stopped, through
    // the flushes the plug-in asks for (HostLoop flushes only when asked).
    EXPECT_TRUE(DragKnob(clap, parent, editor, ms_knobs[0]));
    EXPECT_TRUE(DragKnob(clap, parent, editor, ms_knobs[ms_knobs.size() / 2]));
    clap.StopProcessing();
    EXPECT_TRUE(DragKnob(clap, parent, editor, ms_knobs[ms_knobs.size() / 3]));
    EXPECT_TRUE(DragKnob(clap, parent, editor, ms_knobs.back()));

    gui->destroy(p);
    EXPECT_EQ(clap.TimerCount(), 0u);
    EXPECT_TRUE(parent.Children().empty());
    EXPECT_TRUE(clap.Closings().empty());
}

TEST_F(ClapGuiTest, ResizesKeepTheDesignShapeAndTheCornerDragAsksTheHost)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    const clap_plugin_gui_t* gui = clap.Gui();
    const clap_plugin_t* p = clap.Plugin();
    X11HostWindow parent(ms_server->Name(), 0, 0, 1280, 1024);
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(Open(clap, parent, width, height));
    const unsigned long editor = ShownEditor(clap, parent);
    ASSERT_NE(editor, 0u);
    const double aspect = static_cast<double>(ms_designWidth) / ms_designHeight;

    EXPECT_TRUE(gui->can_resize(p));
    clap_gui_resize_hints_t hints{};
    ASSERT_TRUE(gui->get_resize_hints(p, &hints));
    EXPECT_TRUE(hints.can_resize_horizontally && hints.can_resize_vertically);
    EXPECT_TRUE(hints.preserve_aspect_ratio);
    EXPECT_EQ(hints.aspect_ratio_width, static_cast<std::uint32_t>(ms_designWidth));
    EXPECT_EQ(hints.aspect_ratio_height, static_cast<std::uint32_t>(ms_designHeight));

    auto shownAt = [&](std::uint32_t w, std::uint32_t h)
    {
        int shownWidth = 0, shownHeight = 0;
        return HostLoop(clap, parent,
                        [&]
                        {
                            return parent.Size(editor, shownWidth, shownHeight) &&
                                   shownWidth == static_cast<int>(w) &&
                                   shownHeight == static_cast<int>(h);
                        });
    };
    // At one and at two device pixels per point, whatever the host's frame: the design's
    // shape, within 1024 x 512 points, and a size set is the size shown and reported.
    for (const double scale : {1.0, 2.0})
    {
        ASSERT_TRUE(gui->set_scale(p, scale));
        const auto s = static_cast<std::uint32_t>(scale);
        for (const auto& [w, h] : {std::pair<std::uint32_t, std::uint32_t>{500, 500},
                                   {4000, 4000},
                                   {3000, 300},
                                   {301, 3000}})
        {
            std::uint32_t aw = w, ah = h;
            ASSERT_TRUE(gui->adjust_size(p, &aw, &ah));
            EXPECT_EQ(aw % s, 0u);
            EXPECT_EQ(ah % s, 0u);
            EXPECT_LE(aw, 1024 * s);
            EXPECT_LE(ah, 512 * s);
            EXPECT_LE(aw, w);
            EXPECT_LE(ah, h);
            EXPECT_NEAR(static_cast<double>(aw) / ah, aspect, 2.0 * s * aspect / ah)
                << w << " x " << h << " became " << aw << " x " << ah << " at " << scale;
            EXPECT_TRUE(gui->set_size(p, aw, ah));
            std::uint32_t gw = 0, gh = 0;
            ASSERT_TRUE(gui->get_size(p, &gw, &gh));
            EXPECT_EQ(gw, aw);
            EXPECT_EQ(gh, ah);
            EXPECT_TRUE(shownAt(aw, ah)) << aw << " x " << ah << " at " << scale;
        }
    }
    // A size not of the design's shape is refused as such, and the nearest one taken.
    EXPECT_FALSE(gui->set_size(p, 700, 700));
    std::uint32_t gw = 0, gh = 0;
    ASSERT_TRUE(gui->get_size(p, &gw, &gh));
    EXPECT_NEAR(static_cast<double>(gw) / gh, aspect, 4.0 * aspect / gh);
    EXPECT_TRUE(clap.ResizeRequests().empty()); // the host's own resizes are not sent back

    // The corner drag at two device pixels per point: the host is asked for the new frame in
    // pixels, and the window takes it.
    std::uint32_t w = 1200, h = 0;
    ASSERT_TRUE(gui->adjust_size(p, &w, &h));
    ASSERT_TRUE(gui->set_size(p, w, h));
    ASSERT_TRUE(shownAt(w, h));
    parent.Drag(editor, static_cast<int>(w) - 3, static_cast<int>(h) - 3, -200, 0, 5);
    ASSERT_TRUE(HostLoop(clap, parent, [&] { return !clap.ResizeRequests().empty(); }));
    HostLoop(
        clap, parent, [] { return false; }, 100ms);
    const auto [rw, rh] = clap.ResizeRequests().back();
    EXPECT_NEAR(static_cast<double>(rw), w - 200.0, 8.0);
    EXPECT_EQ(rw % 2, 0u);
    EXPECT_EQ(rh % 2, 0u);
    EXPECT_NEAR(static_cast<double>(rw) / rh, aspect, 4.0 * aspect / rh);
    EXPECT_TRUE(shownAt(rw, rh));
    ASSERT_TRUE(gui->get_size(p, &gw, &gh));
    EXPECT_EQ(gw, rw);
    EXPECT_EQ(gh, rh);
    gui->destroy(p);
}

TEST_F(ClapGuiTest, ReopenedTwoHundredTimesWhileNotesPlayTheAudioGoesOn)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    clap.KeepAudio(false);
    for (std::int16_t key : {48, 55, 60, 64})
        clap.NoteOn(0, key, 0.8);
    clap.Process();

    // The host's audio thread renders in real time meanwhile, timing each block.
    std::atomic<bool> stop{false};
    double worstMs = 0.0;
    long blocks = 0, soundingBlocks = 0, badSamples = 0;
    std::thread audio(
        [&]
        {
            const auto period = std::chrono::microseconds(static_cast<long>(1e6 * kBlock / kRate));
            auto next = std::chrono::steady_clock::now();
            while (!stop.load())
            {
                const auto t0 = std::chrono::steady_clock::now();
                clap.Process();
                const double ms =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                        .count();
                worstMs = std::max(worstMs, ms);
                ++blocks;
                float peak = 0.0f;
                for (float v : clap.BlockLeft())
                {
                    if (!std::isfinite(v))
                        ++badSamples;
                    peak = std::max(peak, std::fabs(v));
                }
                if (peak > 1e-4f)
                    ++soundingBlocks;
                next += period;
                std::this_thread::sleep_until(next);
            }
        });

    const clap_plugin_gui_t* gui = clap.Gui();
    const clap_plugin_t* p = clap.Plugin();
    int lost = 0;
    for (int round = 0; round < 200; ++round)
    {
        X11HostWindow parent(ms_server->Name(), 0, 0, ms_designWidth, ms_designHeight);
        std::uint32_t width = 0, height = 0;
        ASSERT_TRUE(Open(clap, parent, width, height)) << "round " << round;
        // Some rounds close at once, some after the panel has shown; some hide it first, and
        // every fifth the host destroys its window before it destroys the editor.
        if (round % 10 == 0)
            EXPECT_NE(ShownEditor(clap, parent), 0u) << "round " << round;
        else
            for (int i = round % 3; i > 0; --i)
            {
                parent.Sync();
                clap.RunTimers();
            }
        if (round % 4 == 1)
            gui->hide(p);
        if (round % 5 == 2)
        {
            parent.Destroy();
            ++lost;
            const std::size_t closings = lost;
            EXPECT_TRUE(HostLoop(clap, parent, [&] { return clap.Closings().size() == closings; }))
                << "round " << round;
        }
        gui->destroy(p);
        ASSERT_EQ(clap.TimerCount(), 0u) << "round " << round;
    }
    stop = true;
    audio.join();

    std::printf("200 editor openings: %ld blocks, the slowest took %.2f ms (a block lasts %.2f "
                "ms)\n",
                blocks, worstMs, 1e3 * kBlock / kRate);
    EXPECT_LT(worstMs, 1000.0); // a block that waited on the editor would show here
    EXPECT_EQ(badSamples, 0);
    EXPECT_GT(soundingBlocks, blocks / 2);
    // The host's window lost under the editor is reported as a destroyed editor, once each time.
    EXPECT_EQ(clap.Closings(), std::vector<bool>(static_cast<std::size_t>(lost), true));
    for (const auto& e : clap.Log())
        EXPECT_EQ(e.type, CLAP_EVENT_PARAM_VALUE) << "a gesture without input";
}

TEST_F(ClapGuiTest, TwoInstancesShowTheirEditorsAtOnceAndEachHearsOnlyItsOwnKnobs)
{
    ClapInstance a(*ms_library, kRate, kBlock);
    ClapInstance b(*ms_library, kRate, kBlock);
    ASSERT_TRUE(a.Valid() && b.Valid());
    X11HostWindow parentA(ms_server->Name(), 0, 0, ms_designWidth, ms_designHeight);
    X11HostWindow parentB(ms_server->Name(), 0, ms_designHeight + 8, ms_designWidth,
                          ms_designHeight);
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(Open(a, parentA, width, height));
    ASSERT_TRUE(Open(b, parentB, width, height));
    const unsigned long editorA = ShownEditor(a, parentA);
    const unsigned long editorB = ShownEditor(b, parentB);
    ASSERT_NE(editorA, 0u);
    ASSERT_NE(editorB, 0u);
    ASSERT_NE(editorA, editorB);

    // A drag in b's window is b's alone, and one in a's is a's alone.
    const KnobSpot& knob = ms_knobs[ms_knobs.size() / 4];
    const auto id = static_cast<clap_id>(knob.id);
    const double before = a.Value(id);
    a.Log().clear();
    EXPECT_TRUE(DragKnob(b, parentB, editorB, knob));
    HostLoop(
        a, parentA, [] { return false; }, 200ms);
    EXPECT_TRUE(a.Log().empty());
    EXPECT_EQ(a.Value(id), before);
    b.Log().clear();
    EXPECT_TRUE(DragKnob(a, parentA, editorA, ms_knobs[1]));
    HostLoop(
        b, parentB, [] { return false; }, 200ms);
    EXPECT_TRUE(b.Log().empty());
    // Closed by destroying the plug-ins with their editors open, as a crashing host's cleanup
    // would: each closes its own.
}

TEST_F(ClapGuiTest, WithoutAnXServerTheEditorRefusesToOpenWithOneMessage)
{
    ClapInstance clap(*ms_library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    const std::string display = std::getenv("DISPLAY");
    ::setenv("DISPLAY", ":99999", 1);
    ::testing::internal::CaptureStderr();
    const bool created = clap.Gui()->create(clap.Plugin(), CLAP_WINDOW_API_X11, false);
    const std::string message = ::testing::internal::GetCapturedStderr();
    ::setenv("DISPLAY", display.c_str(), 1);
    EXPECT_FALSE(created);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find(":99999"), std::string::npos) << message;
    EXPECT_EQ(clap.TimerCount(), 0u);
    std::uint32_t width = 0, height = 0;
    EXPECT_FALSE(clap.Gui()->get_size(clap.Plugin(), &width, &height));
    // The editor opens once there is a server.
    ASSERT_TRUE(clap.Gui()->create(clap.Plugin(), CLAP_WINDOW_API_X11, false));
    clap.Gui()->destroy(clap.Plugin());
    clap.Process();
}

} // namespace
