// Velluna in a real DAW: Debian's Ardour 7 run without a window. Lua session scripts
// (ardour7-lua, Ardour's "None (Dummy)" audio backend) build sessions with Velluna on MIDI tracks
// and write notes into regions; ardour7-export reopens each saved session from disk and renders it,
// and the rendered file is measured here. Ardour runs under a HOME of its own, with the VST3
// bundle indexed into that HOME's plug-in cache by Ardour's own scanner.
#include "UserFolders.h"

#include "support/ChildProcess.h"
#include "support/SpectrumAnalysis.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

constexpr double kRate = 48000.0;
// Ardour's default tempo: 120 beats per minute.
constexpr double kSecondsPerBeat = 0.5;
constexpr std::size_t kFftSize = 16384;

double KeyHz(int key)
{
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

// What every session script starts with: the dummy backend, a new session, and helpers that put
// Velluna on a new MIDI track, write notes into a region on it and set controls by their label.
const char* const kScriptPrelude = R"LUA(
AudioEngine:set_backend("None (Dummy)", "", "")
local s = create_session(SESSION_FOLDER, SESSION_NAME, 48000)
assert(s, "no session")
local formats = {
  lv2 = { ARDOUR.PluginType.LV2, "urn:tarnwick:velluna" },
  vst3 = { ARDOUR.PluginType.VST3, "Velluna" },
}
local function add_velluna(track_name, format)
  local tracks = s:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
    ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, ARDOUR.PluginInfo(), nil, nil, 1,
    track_name, ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
  assert(tracks:size() == 1, "no MIDI track")
  local track = tracks:front()
  local proc = ARDOUR.LuaAPI.new_plugin(s, formats[format][2], formats[format][1], "")
  assert(not proc:isnil(), "Ardour does not find the " .. format .. " plug-in")
  assert(track:add_processor_by_index(proc, 0, nil, true) == 0, "plug-in not added")
  return track, proc
end
-- notes: { first beat, length in beats, key } at velocity 100 on channel 1.
local function write_notes(track, notes)
  local t = track:to_track()
  local region = t:bounce_range(0, SESSION_SECONDS * 48000, ARDOUR.InterThreadInfo(),
    ARDOUR.LuaAPI.nil_proc(), false, "notes", false)
  assert(region and not region:isnil(), "no MIDI region")
  local model = region:to_midiregion():midi_source(0):model()
  local command = model:new_note_diff_command("notes")
  for _, n in ipairs(notes) do
    command:add(ARDOUR.LuaAPI.new_noteptr(0, Temporal.Beats(n[1], 0), Temporal.Beats(n[2], 0),
      n[3], 100))
  end
  model:apply_command(s, command)
  t:playlist():add_region(region, Temporal.timepos_t(0), 1, false, 0, 0, false)
end
-- The control number Ardour gives the parameter labelled so.
local function control(proc, label)
  local plug = proc:to_insert():plugin(0)
  local n = 0
  for j = 0, plug:parameter_count() - 1 do
    if plug:parameter_is_control(j) then
      if plug:parameter_label(j) == label then return n end
      n = n + 1
    end
  end
  error("no control labelled " .. label)
end
local function set_control(proc, label, value)
  assert(ARDOUR.LuaAPI.set_processor_param(proc, control(proc, label), value),
    "cannot set " .. label)
end
-- By label from the instance's own preset list: a VST3 lists its programs there first.
local function load_factory_preset(proc, name)
  local plug = proc:to_insert():plugin(0)
  local preset = plug:preset_by_label(name)
  assert(preset and preset.valid, "no preset named " .. name)
  assert(plug:load_preset(preset), "preset " .. name .. " not loaded")
  return preset.uri
end
-- A VST3 preset file, as Ardour lists it from the standard preset folders.
local function load_vst3_preset_file(proc, name)
  local plug = proc:to_insert():plugin(0)
  for info in ARDOUR.LuaAPI.list_plugins():iter() do
    if info.name == "Velluna" and info.type == ARDOUR.PluginType.VST3 then
      for listed in info:get_presets(false):iter() do
        if listed.label == name then
          local preset = plug:preset_by_uri(listed.uri)
          assert(preset and preset.valid, "no preset file " .. listed.uri)
          assert(plug:load_preset(preset), "preset file " .. name .. " not loaded")
          return preset.uri
        end
      end
    end
  end
  error("no VST3 preset file named " .. name)
end
)LUA";

// A VST3 hears of a control set through Ardour in the engine's next cycles; the session is saved
// only after some have run, so the plug-in's saved state holds the change.
const char* const kScriptEnd = R"LUA(
ARDOUR.LuaAPI.usleep(300000)
s:save_state("", false, false, false, false, false)
close_session()
print("SESSION SAVED")
)LUA";

struct Export
{
    std::vector<float> left, right;
};

class ArdourSessionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        VellunaHostTest::IsolateUserFolders();
        char pattern[] = "/tmp/velluna-ardour-XXXXXX";
        const char* root = ::mkdtemp(pattern);
        ASSERT_NE(root, nullptr);
        ms_root = root;
        // Ardour's settings, caches and plug-in folders under a HOME of the test's own.
        const std::string home = ms_root + "/home";
        fs::create_directories(home + "/.vst3/presets/Tarnwick");
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("XDG_CACHE_HOME");
        ::setenv("LV2_PATH", VELLUNA_LV2_PATH, 1);
        ::unsetenv("VST3_PATH");
        fs::create_directory_symlink(VELLUNA_VST3_BUNDLE, home + "/.vst3/Velluna.vst3");
        fs::create_directory_symlink(VELLUNA_VST3_PRESETS,
                                     home + "/.vst3/presets/Tarnwick/Velluna");
        // A fresh HOME has no VST3 cache: Ardour finds a VST3 only once its scanner indexed it.
        ::setenv("LD_LIBRARY_PATH", ARDOUR_LIBRARY_DIR, 1);
        const int scanned =
            Run({ARDOUR_LIBRARY_DIR "/ardour-vst3-scanner", home + "/.vst3/Velluna.vst3"},
                ms_root + "/scanner.log");
        ::unsetenv("LD_LIBRARY_PATH");
        ASSERT_EQ(scanned, 0) << TarnTest::ReadTextFile(ms_root + "/scanner.log");
    }

    static void TearDownTestSuite()
    {
        if (!ms_root.empty() && !::getenv("VELLUNA_KEEP_ARDOUR_SESSIONS"))
            fs::remove_all(ms_root);
    }

    static int Run(std::vector<std::string> args, const std::string& log, int seconds = 90)
    {
        args.insert(args.begin(), {"timeout", "-k", "5", std::to_string(seconds)});
        TarnTest::ChildProcess child(args, log);
        return child.Started() ? child.Wait() : -1;
    }

    static std::string Folder(const std::string& session) { return ms_root + "/" + session; }

    // Runs a session script for a new session; body follows the prelude and the session is saved
    // after it. Output lines of the script are returned through output.
    static ::testing::AssertionResult MakeSession(const std::string& session, double seconds,
                                                  const std::string& body,
                                                  std::string* output = nullptr)
    {
        const std::string script = ms_root + "/" + session + ".lua";
        std::ofstream(script) << "local SESSION_FOLDER = \"" << Folder(session) << "\"\n"
                              << "local SESSION_NAME = \"" << session << "\"\n"
                              << "local SESSION_SECONDS = " << seconds << "\n"
                              << kScriptPrelude << body << kScriptEnd;
        const std::string log = ms_root + "/" + session + ".log";
        int status = Run({"ardour7-lua", script}, log);
        if (status == -1)
        {
            // Ardour's session tool itself dies by a signal now and then (about one run in fifty
            // under load, while it creates the session, with or without our plug-in): one more
            // try on a clean folder, said in the test's output.
            std::fprintf(stderr, "ardour7-lua ended by a signal; trying once more. Its log:\n%s\n",
                         TarnTest::ReadTextFile(log).c_str());
            fs::remove_all(Folder(session));
            status = Run({"ardour7-lua", script}, log);
        }
        const std::string text = TarnTest::ReadTextFile(log);
        if (output)
            *output = text;
        if (status != 0 || text.find("SESSION SAVED") == std::string::npos)
            return ::testing::AssertionFailure() << "ardour7-lua exit status " << status << ":\n"
                                                 << text;
        return SetSessionRange(session, seconds);
    }

    // Runs a script on the saved session, opened again from disk.
    static ::testing::AssertionResult OnSavedSession(const std::string& session,
                                                     const std::string& body, std::string& output)
    {
        const std::string script = ms_root + "/" + session + "-again.lua";
        std::ofstream(script) << "AudioEngine:set_backend(\"None (Dummy)\", \"\", \"\")\n"
                              << "local s = load_session(\"" << Folder(session) << "\", \""
                              << session << "\")\nassert(s, \"session not loaded\")\n"
                              << body << "\nclose_session()\nprint(\"SESSION CLOSED\")\n";
        const std::string log = ms_root + "/" + session + "-again.log";
        const int status = Run({"ardour7-lua", script}, log);
        output = TarnTest::ReadTextFile(log);
        if (status != 0 || output.find("SESSION CLOSED") == std::string::npos)
            return ::testing::AssertionFailure() << "ardour7-lua exit status " << status << ":\n"
                                                 << output;
        return ::testing::AssertionSuccess();
    }

    // ardour7-export renders a session's range, which Ardour's Lua bindings cannot create (they
    // make range markers only): the saved session gets one from 0 to the given length.
    static ::testing::AssertionResult SetSessionRange(const std::string& session, double seconds)
    {
        const std::string file = Folder(session) + "/" + session + ".ardour";
        std::string xml = TarnTest::ReadTextFile(file);
        // Ardour counts positions in superclock ticks, 282240000 a second.
        const long long end = std::llround(seconds * 282240000.0);
        const std::string range = "<Location id=\"990001\" name=\"session\" start=\"a0\" end=\"a" +
                                  std::to_string(end) +
                                  "\" flags=\"IsSessionRange\" locked=\"0\" timestamp=\"0\" "
                                  "cue=\"0\"/>";
        if (const auto at = xml.find("<Locations/>"); at != std::string::npos)
            xml.replace(at, 12, "<Locations>" + range + "</Locations>");
        else if (const auto open = xml.find("<Locations>"); open != std::string::npos)
            xml.insert(open + 11, range);
        else
            return ::testing::AssertionFailure() << "no <Locations> in " << file;
        std::ofstream(file) << xml;
        return ::testing::AssertionSuccess();
    }

    // The session opened from disk and rendered by ardour7-export as 32-bit float.
    //
    // Two quirks of the export tool are retried, each said on the test's output. Now and then it
    // stops before rendering its first block (cause not found): such a run is given up after
    // 30 seconds. And now and then it loses the first notes of the session's first track, while
    // the next export of the very same saved session has them: measured here in sessions of LV2
    // plug-ins only as well (four tracks: every time; three: one export in three), with the
    // notes in the session's files and never reaching the plug-in. Every session here has a
    // note on its first beat, so a silent first half second is that quirk. A render takes about
    // 4 seconds.
    static ::testing::AssertionResult ExportSession(const std::string& session, Export& out)
    {
        ::testing::AssertionResult result = ::testing::AssertionFailure();
        for (int attempt = 0; attempt < 5; ++attempt)
        {
            result = ExportOnce(session, out);
            if (!result)
                continue;
            const std::vector<float> start(
                out.left.begin(),
                out.left.begin() +
                    std::min<std::size_t>(out.left.size(), static_cast<std::size_t>(kRate / 2)));
            if (TarnTest::Peak(start) > 0.0)
                return result;
            std::fprintf(stderr, "ardour7-export lost the first notes of %s; once more\n",
                         session.c_str());
        }
        return result;
    }

    static ::testing::AssertionResult ExportOnce(const std::string& session, Export& out)
    {
        const std::string wav = ms_root + "/" + session + ".wav";
        const std::string log = ms_root + "/" + session + "-export.log";
        const int status =
            Run({"ardour7-export", "-b", "float", "-o", wav, Folder(session), session}, log, 30);
        if (status != 0)
            return ::testing::AssertionFailure() << "ardour7-export exit status " << status << ":\n"
                                                 << TarnTest::ReadTextFile(log);
        SF_INFO info{};
        SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
        if (!file)
            return ::testing::AssertionFailure() << "no export: " << TarnTest::ReadTextFile(log);
        std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
        const sf_count_t read = sf_readf_float(file, frames.data(), info.frames);
        sf_close(file);
        if (info.channels != 2 || info.samplerate != kRate || read != info.frames)
            return ::testing::AssertionFailure()
                   << "export of " << info.channels << " channels at " << info.samplerate << " Hz, "
                   << read << " of " << info.frames << " frames read";
        out.left.resize(static_cast<std::size_t>(read));
        out.right.resize(static_cast<std::size_t>(read));
        for (sf_count_t i = 0; i < read; ++i)
        {
            out.left[i] = frames[2 * i];
            out.right[i] = frames[2 * i + 1];
        }
        return ::testing::AssertionSuccess();
    }

    static std::string ms_root;
};

std::string ArdourSessionTest::ms_root;

std::size_t Frame(double beat)
{
    return static_cast<std::size_t>(beat * kSecondsPerBeat * kRate);
}

// Every sample finite, nothing clipped, and sound where notes play.
void ExpectSaneAudio(const Export& e)
{
    ASSERT_FALSE(e.left.empty());
    std::size_t bad = 0;
    for (std::size_t i = 0; i < e.left.size(); ++i)
        bad += !std::isfinite(e.left[i]) || !std::isfinite(e.right[i]);
    EXPECT_EQ(bad, 0u) << "non-finite samples";
    EXPECT_GT(TarnTest::Peak(e.left), 0.01) << "silent export";
}

// The spectrum of the left channel from half a beat after a note starts (past its attack).
std::vector<double> SpectrumOfNote(const Export& e, double beat)
{
    return TarnTest::MagnitudeSpectrum(e.left, Frame(beat + 0.5), kFftSize,
                                       TarnTest::Window::Nuttall);
}

double Strongest(const std::vector<double>& m)
{
    double top = 0.0;
    for (double v : m)
        top = std::max(top, v);
    return top;
}

// Frequency (Hz) of the strongest bin within 3% of hz, interpolated between bins, and its level
// relative to the strongest bin of the whole spectrum (dB).
struct Peak
{
    double hz = 0.0;
    double db = -300.0;
};

Peak PeakNear(const std::vector<double>& m, double hz)
{
    const double binHz = kRate / kFftSize;
    const auto lo = static_cast<std::size_t>(hz * 0.97 / binHz);
    const auto hi = static_cast<std::size_t>(hz * 1.03 / binHz);
    std::size_t k = lo;
    for (std::size_t i = lo; i <= hi; ++i)
        if (m[i] > m[k])
            k = i;
    const double a = std::log(m[k - 1] + 1e-30), b = std::log(m[k] + 1e-30),
                 c = std::log(m[k + 1] + 1e-30);
    const double offset = 0.5 * (a - c) / (a - 2.0 * b + c);
    return {(static_cast<double>(k) + offset) * binHz, 20.0 * std::log10(m[k] / Strongest(m))};
}

// A note at hz: a peak there within 0.3% and nothing stronger than -40 dB below it (no note an
// octave or a fifth lower, no detuned fundamental).
void ExpectFundamental(const std::vector<double>& m, double hz, const char* what)
{
    const Peak p = PeakNear(m, hz);
    EXPECT_NEAR(p.hz, hz, hz * 0.003) << what;
    EXPECT_GT(p.db, -30.0) << what;
    const double binHz = kRate / kFftSize;
    double below = 0.0;
    for (std::size_t k = 2; k < static_cast<std::size_t>(hz * 0.9 / binHz); ++k)
        below = std::max(below, m[k]);
    EXPECT_LT(20.0 * std::log10(below / Strongest(m)), p.db - 40.0) << what << ": sound below";
}

// Distance between two spectra as shapes: 1 minus their normalized correlation.
double ShapeDistance(const std::vector<double>& a, const std::vector<double>& b)
{
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k)
    {
        ab += a[k] * b[k];
        aa += a[k] * a[k];
        bb += b[k] * b[k];
    }
    return 1.0 - ab / std::sqrt(aa * bb + 1e-300);
}

} // namespace

class ArdourNotesTest : public ArdourSessionTest, public ::testing::WithParamInterface<const char*>
{
};

// A4, then a chord, written into a region on a MIDI track and rendered from the saved session.
TEST_P(ArdourNotesTest, PlaysTheNotesOfARegion)
{
    const std::string format = GetParam();
    const std::string session = "notes-" + format;
    ASSERT_TRUE(MakeSession(session, 3.5,
                            R"LUA(
local track = add_velluna("Synth", ")LUA" +
                                format + R"LUA(")
write_notes(track, { { 0, 2, 69 }, { 3, 2, 60 }, { 3, 2, 64 }, { 3, 2, 67 } })
)LUA"));
    Export e;
    ASSERT_TRUE(ExportSession(session, e));
    ExpectSaneAudio(e);
    EXPECT_LT(TarnTest::Peak(std::vector<float>(e.left.begin(), e.left.begin() + 64)), 1e-4)
        << "sound before the first note";
    ExpectFundamental(SpectrumOfNote(e, 0.0), 440.0, "A4");
    const std::vector<double> chord = SpectrumOfNote(e, 3.0);
    for (int key : {60, 64, 67})
    {
        const Peak p = PeakNear(chord, KeyHz(key));
        EXPECT_NEAR(p.hz, KeyHz(key), KeyHz(key) * 0.003) << "key " << key;
        EXPECT_GT(p.db, -20.0) << "key " << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ArdourNotesTest, ::testing::Values("lv2", "vst3"),
                         [](const auto& info) { return std::string(info.param); });

// Coarse Tune and Volume of the named tracks' instances as Ardour reads them from the session
// opened again from disk, one line per value ("Up Coarse Tune = 12").
const char* const kReadBackScript = R"LUA(
for _, name in ipairs(TRACKS) do
  local proc = s:route_by_name(name):nth_plugin(0)
  local plug = proc:to_insert():plugin(0)
  local n = 0
  for j = 0, plug:parameter_count() - 1 do
    if plug:parameter_is_control(j) then
      local label = plug:parameter_label(j)
      if label == "Coarse Tune" or label == "Volume" then
        print(string.format("%s %s = %g", name, label, ARDOUR.LuaAPI.get_processor_param(proc, n, true)))
      end
      n = n + 1
    end
  end
end
)LUA";

// Two LV2 instances, each with Coarse Tune changed through Ardour: the session is saved, opened
// again (the values read back) and rendered from disk with the changes kept.
TEST_F(ArdourSessionTest, ChangedParametersSurviveSavingAndReopening)
{
    ASSERT_TRUE(MakeSession("tuned", 3.5, R"LUA(
local up, up_proc = add_velluna("Up", "lv2")
local down, down_proc = add_velluna("Down", "lv2")
set_control(up_proc, "Coarse Tune", 12)
set_control(down_proc, "Coarse Tune", -12)
write_notes(up, { { 0, 2, 69 } })
write_notes(down, { { 3, 2, 69 } })
)LUA"));
    std::string output;
    ASSERT_TRUE(OnSavedSession(
        "tuned", std::string("local TRACKS = { \"Up\", \"Down\" }\n") + kReadBackScript, output));
    EXPECT_NE(output.find("Up Coarse Tune = 12\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Down Coarse Tune = -12\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Up Volume = 1\n"), std::string::npos) << output;
    Export e;
    ASSERT_TRUE(ExportSession("tuned", e));
    ExpectSaneAudio(e);
    ExpectFundamental(SpectrumOfNote(e, 0.0), 880.0, "LV2 an octave up");
    ExpectFundamental(SpectrumOfNote(e, 3.0), 220.0, "second instance an octave down");
}

// The same for the VST3, with two parameters changed (the first one, Volume, among them).
TEST_F(ArdourSessionTest, ChangedVst3ParametersSurviveSavingAndReopening)
{
    ASSERT_TRUE(MakeSession("tuned-vst3", 2.0, R"LUA(
local fifth, fifth_proc = add_velluna("Fifth", "vst3")
set_control(fifth_proc, "Coarse Tune", 7)
set_control(fifth_proc, "Volume", 0.5)
write_notes(fifth, { { 0, 2, 69 } })
)LUA"));
    std::string output;
    ASSERT_TRUE(OnSavedSession(
        "tuned-vst3", std::string("local TRACKS = { \"Fifth\" }\n") + kReadBackScript, output));
    EXPECT_NE(output.find("Fifth Coarse Tune = 7\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Fifth Volume = 0.5\n"), std::string::npos) << output;
    Export e;
    ASSERT_TRUE(ExportSession("tuned-vst3", e));
    ExpectSaneAudio(e);
    ExpectFundamental(SpectrumOfNote(e, 0.0), KeyHz(76), "VST3 a fifth up");
}

// A factory preset picked from Ardour's preset list of each format changes the sound, and to the
// same sound in both formats, whether the VST3 loads it as a program or from its preset file;
// the session keeps the loaded values through saving and reopening. Ardour 7.3 holds a lock
// while it loads a VST3 preset, and before the plug-in took that into account it froze for good
// in the VST3 loads. The preset file is loaded in a session of its own: the more tracks a
// session has, the more often Ardour's export loses the first track's first notes.
TEST_F(ArdourSessionTest, FactoryPresetsOfBothFormatsSoundTheSame)
{
    std::string output;
    ASSERT_TRUE(MakeSession("presets-both", 7.0, R"LUA(
local plain = add_velluna("Plain", "lv2")
local lv2, lv2_proc = add_velluna("PresetLV2", "lv2")
local vst3, vst3_proc = add_velluna("PresetVST3", "vst3")
print("LV2 preset " .. load_factory_preset(lv2_proc, "PW Dive"))
print("VST3 preset " .. load_factory_preset(vst3_proc, "PW Dive"))
write_notes(plain, { { 0, 2, 57 } })
write_notes(lv2, { { 4, 2, 57 } })
write_notes(vst3, { { 8, 2, 57 } })
)LUA",
                            &output));
    EXPECT_NE(output.find("VST3 preset VST3-P:"), std::string::npos) << output;
    ASSERT_TRUE(MakeSession("preset-file", 2.0, R"LUA(
local vst3, vst3_proc = add_velluna("PresetFileVST3", "vst3")
print("VST3 preset " .. load_vst3_preset_file(vst3_proc, "PW Dive"))
write_notes(vst3, { { 0, 2, 57 } })
)LUA",
                            &output));
    EXPECT_NE(output.find("VST3 preset VST3-S:"), std::string::npos) << output;
    Export both, file;
    ASSERT_TRUE(ExportSession("presets-both", both));
    ExpectSaneAudio(both);
    ASSERT_TRUE(ExportSession("preset-file", file));
    ExpectSaneAudio(file);
    const std::vector<double> plain = SpectrumOfNote(both, 0.0);
    const std::vector<double> lv2 = SpectrumOfNote(both, 4.0);
    const double changed = ShapeDistance(plain, lv2);
    EXPECT_GT(changed, 0.1) << "the preset did not change the sound\n" << output;
    EXPECT_LT(ShapeDistance(lv2, SpectrumOfNote(both, 8.0)), changed * 0.1) << "VST3 program";
    EXPECT_LT(ShapeDistance(lv2, SpectrumOfNote(file, 0.0)), changed * 0.1) << "VST3 preset file";
}

// The factory presets as Ardour lists them for a plug-in before any instance exists (its plug-in
// list and the mixer's favourites read preset files for VST3), and one of them, picked from that
// list, changes the sound of an LV2 instance like the VST3 preset file names it.
TEST_F(ArdourSessionTest, FactoryPresetsAreListedAndChangeTheSound)
{
    std::string output;
    ASSERT_TRUE(MakeSession("presets", 3.5, R"LUA(
for info in ARDOUR.LuaAPI.list_plugins():iter() do
  if info.name == "Velluna" then
    local n, dive = 0, false
    for preset in info:get_presets(false):iter() do
      n = n + 1
      dive = dive or preset.label == "PW Dive"
    end
    print(string.format("%s lists %d presets, PW Dive %s", info.type == ARDOUR.PluginType.VST3 and "VST3" or info.type == ARDOUR.PluginType.LV2 and "LV2" or "other", n, tostring(dive)))
  end
end
local plain = add_velluna("Plain", "lv2")
local changed, changed_proc = add_velluna("Preset", "lv2")
load_factory_preset(changed_proc, "PW Dive")
write_notes(plain, { { 0, 2, 57 } })
write_notes(changed, { { 3, 2, 57 } })
)LUA",
                            &output));
    EXPECT_NE(output.find("LV2 lists 32 presets, PW Dive true"), std::string::npos) << output;
    EXPECT_NE(output.find("VST3 lists 32 presets, PW Dive true"), std::string::npos) << output;
    Export e;
    ASSERT_TRUE(ExportSession("presets", e));
    ExpectSaneAudio(e);
    EXPECT_GT(ShapeDistance(SpectrumOfNote(e, 0.0), SpectrumOfNote(e, 3.0)), 0.1)
        << "the preset did not change the sound";
}
