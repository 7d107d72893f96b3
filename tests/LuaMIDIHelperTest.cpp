// The MIDI scripting host: dispatch of queued MIDI to script handlers, NRPN assembly, the
// instrument's own controllers, the script API's results and error texts, the stack discipline
// and the guard against runaway handlers (time, instructions, memory, hook removal).
#include "support/LuaTestSupport.h"
#include "support/TestInstance.h"

#include "core/VellunaVersion.h"
#include "scripting/VeLuLuaMIDIHelper.h"

#include <gtest/gtest.h>
#include <lua.hpp>

#include <cmath>

using namespace TarnTest;

namespace
{

// An initialized instance whose scripts come from an empty scratch folder holding only a user
// "midi.lua" (so the bundled default adds no handlers), plus a log that scripts append to.
class LuaMIDIHelperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_home.AddScript("midi.lua", "loaded = true");
        m_instance = std::make_unique<TestInstance>();
        ASSERT_NE(Helper().LuaInit(), nullptr);
        ASSERT_TRUE(LuaBool(Helper(), "loaded"));
        Run("log = {}\n"
            "function note(...) log[#log + 1] = table.concat({...}, ',') end");
    }

    TW::LuaMIDIHelper& Helper() { return (*m_instance)->LuaHelper(); }
    TarnAdditiveSynth& Synth() { return **m_instance; }

    void Run(const std::string& code) { ASSERT_EQ(RunLua(Helper(), code), ""); }
    std::string Log() { return LuaString(Helper(), "table.concat(log, ' ')"); }
    void ClearLog() { Run("log = {}"); }

    // Queues a short message and renders a block, which dispatches it on this (render) thread.
    void Send(std::uint8_t status, std::uint8_t channel, std::uint8_t d1, std::uint8_t d2)
    {
        ASSERT_EQ(Synth().HandleMidiEvent(status, channel, d1, d2, 0), TW::kNoErr);
        ASSERT_EQ(m_instance->Render(32), TW::kNoErr);
    }

    ScratchDataHome m_home;
    std::unique_ptr<TestInstance> m_instance;
};

TEST_F(LuaMIDIHelperTest, AllMessageListsRunBeforeKeyedOnesInRegistrationOrder)
{
    Run("requestCC(7, function(c, n, v) note('cc7a', c, n, v) end)\n"
        "requestAllCC(function(c, n, v) note('all', c, n, v) end)\n"
        "requestCC(7, function(c, n, v) note('cc7b', c, n, v) end)\n"
        "requestCC(8, function() note('cc8') end)\n");
    Send(0xB0, 2, 7, 100);
    EXPECT_EQ(Log(), "all,3,7,100 cc7a,3,7,100 cc7b,3,7,100");

    ClearLog();
    Run("requestAllNoteOn(function(c, n, v) note('on', c, n, v) end)\n"
        "requestNoteOn(60, function(c, n, v) note('on60', c, n, v) end)\n"
        "requestAllNoteOff(function(c, n, v) note('off', c, n, v) end)\n"
        "requestNoteOff(60, function(c, n, v) note('off60', c, n, v) end)\n"
        "requestAllPolyPressure(function(c, n, p) note('pp', c, n, p) end)\n"
        "requestPolyPressure(61, function(c, n, p) note('pp61', c, n, p) end)\n"
        "requestAllProgramChange(function(c, p) note('pc', c, p) end)\n"
        "requestProgramChange(5, function(c, p) note('pc5', c, p) end)\n"
        "requestChannelPressure(function(c, p) note('cp', c, p) end)\n"
        "requestPitchWheel(function(c, v) note('pw', c, v) end)\n");
    Send(0x90, 0, 60, 90);
    Send(0x80, 15, 60, 33);
    Send(0xA0, 1, 61, 20);
    Send(0xC0, 4, 5, 0);
    Send(0xD0, 9, 77, 0);
    Send(0xE0, 3, 0x01, 0x40);
    Send(0x90, 0, 62, 90); // no keyed entry: only the all-list
    EXPECT_EQ(Log(), "on,1,60,90 on60,1,60,90 off,16,60,33 off60,16,60,33 pp,2,61,20 "
                     "pp61,2,61,20 pc,5,5 pc5,5,5 cp,10,77 pw,4,8193 on,1,62,90");
}

TEST_F(LuaMIDIHelperTest, AHandlerAddedDuringDispatchRunsInTheSamePass)
{
    Run("requestAllCC(function() note('first'); "
        "if not added then added = true; requestAllCC(function() note('added') end) end end)");
    Send(0xB0, 0, 1, 1);
    EXPECT_EQ(Log(), "first added");
}

TEST_F(LuaMIDIHelperTest, NoteOnWithVelocityZeroIsANoteOff)
{
    Run("requestAllNoteOn(function(c, n, v) note('on', n, v) end)\n"
        "requestAllNoteOff(function(c, n, v) note('off', n, v) end)");
    Send(0x90, 0, 64, 100);
    EXPECT_EQ(Synth().Engine().GetNumHeldKeys(), 1);
    Send(0x90, 0, 64, 0);
    EXPECT_EQ(Log(), "on,64,100 off,64,0");
    EXPECT_EQ(Synth().Engine().GetNumHeldKeys(), 0);
}

TEST_F(LuaMIDIHelperTest, NRPNAssemblyFromDataEntry)
{
    Run("requestAllNRPN(function(c, n, v) note('nrpn', c, n, v) end)\n"
        "requestNRPN(0, function(c, n, v) note('nrpn0', n, v) end)\n"
        "requestAllCC(function(c, n, v) note('cc', n, v) end)");
    // A lone data-entry controller: number 0, value 5 * 128 + 0.
    Send(0xB0, 0, 6, 5);
    EXPECT_EQ(Log(), "nrpn,1,0,640 nrpn0,0,640 cc,6,5");

    ClearLog();
    Send(0xB0, 1, 99, 3);  // number MSB
    Send(0xB0, 1, 98, 10); // number LSB
    Send(0xB0, 1, 38, 7);  // data LSB; the MSB keeps its 5
    EXPECT_EQ(Log(), "cc,99,3 cc,98,10 nrpn,2,394,647 cc,38,7");

    // Registered parameter numbers are plain controllers; the NRPN state stays.
    ClearLog();
    Send(0xB0, 0, 101, 0);
    Send(0xB0, 0, 100, 0);
    Send(0xB0, 0, 6, 127);
    EXPECT_EQ(Log(), "cc,101,0 cc,100,0 nrpn,1,394,16263 cc,6,127");
}

TEST_F(LuaMIDIHelperTest, SustainAllSoundOffAndAllNotesOffNeverReachScripts)
{
    Run("count = 0; seen = {}\n"
        "requestAllCC(function(c, n) count = count + 1; seen[n] = true end)\n"
        "for _, n in ipairs({64, 120, 123}) do requestCC(n, function() count = count + 1000 end) "
        "end");
    for (int controller = 0; controller < 128; ++controller)
        Send(0xB0, 0, static_cast<std::uint8_t>(controller), 0);
    EXPECT_EQ(LuaNumber(Helper(), "count"), 125);
    EXPECT_FALSE(LuaBool(Helper(), "seen[64] or seen[120] or seen[123]"));

    // ... but the instrument acts on them.
    Send(0x90, 0, 60, 100);
    Send(0xB0, 0, 64, 127);
    EXPECT_TRUE(Synth().Engine().GetSustainPedal());
    Send(0xB0, 0, 64, 63);
    EXPECT_FALSE(Synth().Engine().GetSustainPedal());
    Send(0xB0, 0, 120, 0);
    EXPECT_EQ(Synth().Engine().GetNumNotes(), 0);
    EXPECT_EQ(Synth().Engine().GetNumHeldKeys(), 0);
}

TEST_F(LuaMIDIHelperTest, PitchWheelSetsTheBendFactor)
{
    Run("requestPitchWheel(function(c, v) note(v) end)");
    Send(0xE0, 0, 0, 0);
    EXPECT_EQ(Synth().Engine().GetPitchBend(), static_cast<float>(std::pow(2.0, -2.0 / 12.0)));
    Send(0xE0, 0, 0, 64);
    EXPECT_EQ(Synth().Engine().GetPitchBend(), 1.0f);
    ASSERT_EQ(m_instance->Set(154, 12.0f), TW::kNoErr);
    Send(0xE0, 0, 127, 127);
    const float semitones = 12.0f * 0.00012207031f * 8191.0f;
    EXPECT_EQ(Synth().Engine().GetPitchBend(),
              static_cast<float>(std::pow(2.0, static_cast<double>(semitones) / 12.0)));
    EXPECT_EQ(Log(), "0 8192 16383");
}

TEST_F(LuaMIDIHelperTest, GlobalValuesAndFunctions)
{
    EXPECT_EQ(LuaString(Helper(), "isMac"), "true");
    EXPECT_EQ(LuaString(Helper(), "isWin"), "false");
    EXPECT_EQ(LuaString(Helper(), "isVST"), "false");
    EXPECT_EQ(LuaString(Helper(), "isAU"), "true");
    // The globals spell the version that the build sets, and `version` is MMmmpp.
    EXPECT_EQ(LuaString(Helper(), "string.format('%d.%d.%d', majorVersion, minorVersion, "
                                  "dotVersion)"),
              Tarn::kVersionString);
    EXPECT_EQ(LuaString(Helper(), "string.format('%d.%d.%d', math.floor(version / 10000), "
                                  "math.floor(version / 100) % 100, version % 100)"),
              Tarn::kVersionString);
    for (const char* name : {"setParameter",
                             "getParameter",
                             "getParameterID",
                             "getParameterMinMax",
                             "getParameterUnit",
                             "getParameterName",
                             "isParameterUsed",
                             "getNumParameters",
                             "sendOSC",
                             "setOthersParameter",
                             "getOthersParameter",
                             "requestAllNoteOn",
                             "requestAllNoteOff",
                             "requestAllCC",
                             "requestAllNRPN",
                             "requestAllProgramChange",
                             "requestAllPolyPressure",
                             "requestNoteOn",
                             "requestNoteOff",
                             "requestCC",
                             "requestNRPN",
                             "requestProgramChange",
                             "requestPolyPressure",
                             "requestPitchWheel",
                             "requestChannelPressure",
                             "time",
                             "requestTimedCallback",
                             "requestPeriodicCallback",
                             "cancelTimer",
                             "setGUIBoolValue",
                             "getGUIBoolValue",
                             "setOthersGUIBoolValue",
                             "getOthersGUIBoolValue",
                             "registerOSCPathForParameter",
                             "registerOSCPathForParameterNormalized",
                             "registerOSCPathForFunction"})
        EXPECT_EQ(LuaString(Helper(), std::string("type(") + name + ")"), "function") << name;
    EXPECT_EQ(LuaString(Helper(), "type(string.format) .. type(math.floor) .. type(io)"),
              "functionfunctiontable");
    EXPECT_GT(LuaNumber(Helper(), "time()"), 0.0);
}

TEST_F(LuaMIDIHelperTest, ParameterFunctions)
{
    EXPECT_EQ(LuaNumber(Helper(), "getNumParameters()"), 181);
    EXPECT_EQ(LuaNumber(Helper(), "getParameterID('Filter Cutoff')"), 139);
    EXPECT_EQ(LuaString(Helper(), "getParameterName(154)"), "Pitch Wheel Range");
    EXPECT_EQ(LuaString(Helper(), "table.concat({getParameterMinMax('Filter Cutoff')}, ' ')"),
              "50 12000");
    EXPECT_EQ(LuaNumber(Helper(), "getParameterUnit(33)"), static_cast<double>(TW::kUnitSeconds));
    EXPECT_EQ(LuaString(Helper(), "isParameterUsed(17)"), "true");
    EXPECT_EQ(LuaNumber(Helper(), "getParameter(140.9)"), LuaNumber(Helper(), "getParameter(140)"));

    // setParameter goes through the notifying call: the store and the listeners see it.
    struct Counter : TW::ParameterListener
    {
        int calls = 0;
        float last = 0;
        void ParameterChanged(void*, const TW::ParameterAddress& a, float v) override
        {
            calls += a.id == 0;
            last = v;
        }
    } listener;
    ASSERT_TRUE(Synth().AddParameterListener(&listener));
    Run("setParameter('Volume', 0.25)");
    EXPECT_EQ(Synth().Globals().Value(0), 0.25f);
    EXPECT_EQ(LuaNumber(Helper(), "getParameter('Volume')"), 0.25);
    Run("setParameter(0, 0.5)");
    EXPECT_EQ(listener.calls, 2);
    EXPECT_EQ(listener.last, 0.5f);
    // Ids that the store does not hold are ignored, not errors.
    Run("setParameter(17, 1); setParameter(500, 1); setParameter(-3, 1)");
    Synth().RemoveParameterListener(&listener);
}

TEST_F(LuaMIDIHelperTest, ErrorTexts)
{
    const struct
    {
        const char* function;
        const char* arguments;
        const char* error;
    } cases[] = {
        {"getParameter", "181", "parameter out of range: 181"},
        {"getParameter", "-1", "parameter out of range: -1"},
        {"getParameter", "1e300", "parameter out of range: 2147483647"},
        {"getParameter", "'volume'", "parameter not found: 'volume'"},
        {"getParameter", "nil", "bad argument #1 to '?' (string expected, got nil)"},
        {"getParameterMinMax", "181", "parameter out of range: 181"},
        {"getParameterUnit", "'x'", "parameter not found: 'x'"},
        {"getParameterName", "200", "parameter out of range: 200"},
        {"isParameterUsed", "181", "parameter out of range: 181"},
        {"getParameterID", "'Volume '", "parameter not found: 'Volume '"},
        {"setParameter", "'nothing', 1", "parameter not found: 'nothing'"},
        {"setGUIBoolValue", "8, true", "indicator id out of range: 8"},
        {"setGUIBoolValue", "-1, true", "indicator id out of range: -1"},
        {"setGUIBoolValue", "-1e20, true", "indicator id out of range: -2147483648"},
        {"getGUIBoolValue", "8", "indicator id out of range: 8"},
        {"setOthersGUIBoolValue", "0, 9, true", "indicator id out of range: 9"},
        {"getOthersGUIBoolValue", "0, -2", "indicator id out of range: -2"},
        {"requestAllNoteOn", "1", "first argument to requestAllNoteOn() is not a function"},
        {"requestAllNoteOff", "", "first argument to requestAllNoteOff() is not a function"},
        {"requestAllCC", "{}", "first argument to requestAllCC() is not a function"},
        {"requestAllNRPN", "'f'", "first argument to requestAllNRPN() is not a function"},
        {"requestAllProgramChange", "nil",
         "first argument to requestAllProgramChange() is not a function"},
        {"requestAllPolyPressure", "true",
         "first argument to requestAllPolyPressure() is not a function"},
        {"requestNoteOn", "60, 1", "second argument to requestNoteOn() is not a function"},
        {"requestNoteOn", "'x', print", "bad argument #1 to '?' (number expected, got string)"},
        {"requestNoteOff", "60", "second argument to requestNoteOff() is not a function"},
        {"requestCC", "7, 'f'", "second argument to requestCC() is not a function"},
        {"requestNRPN", "7, {}", "second argument to requestNRPN() is not a function"},
        {"requestProgramChange", "1, 2",
         "second argument to requestProgramChange() is not a function"},
        {"requestPolyPressure", "1, 2",
         "second argument to requestPolyPressure() is not a function"},
        {"requestPitchWheel", "1", "first argument to requestPitchWheel() is not a function"},
        {"requestChannelPressure", "1",
         "first argument to requestChannelPressure() is not a function"},
        {"requestTimedCallback", "1, 2",
         "second argument to requestTimerCallback() is not a function"},
        {"requestPeriodicCallback", "1",
         "second argument to requestTimerCallback() is not a function"},
        {"cancelTimer", "{}",
         "bad argument #1 to '?' (TW::LuaMIDIHelper::Timer expected, got table)"},
    };
    for (const auto& c : cases)
    {
        // Called by pcall itself, so no position is prepended to the message.
        const std::string call = std::string(c.function) + "(" + c.arguments + ")";
        Run(std::string("ok, err = pcall(") + c.function + (*c.arguments ? ", " : "") +
            c.arguments + ")");
        EXPECT_EQ(LuaString(Helper(), "ok"), "false") << call;
        EXPECT_EQ(LuaString(Helper(), "err"), c.error) << call;
    }
    EXPECT_EQ(LuaNumber(Helper(), "getParameter('Volume')"), Synth().Globals().Value(0));
    // Raised from script code, the error carries the chunk's position.
    EXPECT_EQ(RunLua(Helper(), "\ngetParameter(181)"), "test:2: parameter out of range: 181");
}

TEST_F(LuaMIDIHelperTest, GUIIndicators)
{
    Run("setGUIBoolValue(3, 1); setGUIBoolValue(4, nil); setGUIBoolValue(7, 'yes')");
    EXPECT_EQ(Synth().GetDisplayBlock().guiSwitches[3].load(), 1);
    EXPECT_EQ(Synth().GetDisplayBlock().guiSwitches[4].load(), 0);
    EXPECT_EQ(Synth().GetDisplayBlock().guiSwitches[7].load(), 1);
    EXPECT_EQ(LuaString(Helper(), "tostring(getGUIBoolValue(3)) .. tostring(getGUIBoolValue(4))"),
              "truefalse");
    Run("setGUIBoolValue(3, false)");
    EXPECT_EQ(Synth().GetDisplayBlock().guiSwitches[3].load(), 0);
}

TEST_F(LuaMIDIHelperTest, FailingHandlersLeaveTheStackAsItWas)
{
    Run("requestAllNoteOn(function() error('boom') end)\n"
        "requestNoteOn(60, function() error({}) end)\n"
        "requestAllNoteOn(function(c, n) note(n) end)\n"
        "requestAllCC(function() return 1, 2, 3 end)\n"
        "requestAllCC(function() local t = nil; return t.x end)\n"
        "requestPitchWheel(function() getParameter(999) end)");
    ASSERT_EQ(LuaStackDepth(Helper()), 0);
    for (int i = 0; i < 3000; ++i)
    {
        ASSERT_EQ(Synth().HandleMidiEvent(0x90, 0, 60, 100, 0), TW::kNoErr);
        ASSERT_EQ(Synth().HandleMidiEvent(0xB0, 0, 1, 5, 0), TW::kNoErr);
        ASSERT_EQ(Synth().HandleMidiEvent(0xE0, 0, 0, 64, 0), TW::kNoErr);
        ASSERT_EQ(Synth().HandleMidiEvent(0x80, 0, 60, 0, 0), TW::kNoErr);
        ASSERT_EQ(m_instance->Render(16), TW::kNoErr);
    }
    EXPECT_EQ(LuaStackDepth(Helper()), 0);
    // Handlers after the failing ones ran every time.
    EXPECT_EQ(LuaNumber(Helper(), "#log"), 3000);
}

TEST_F(LuaMIDIHelperTest, RunawayHandlerIsAbortedAndTheInstrumentPlaysOn)
{
    // The first handler never returns, even catching the abort with its own pcall; the second
    // still runs, the note still starts, and later calls get a fresh budget.
    Run("requestNoteOn(60, function() while true do pcall(function() while true do end end) end "
        "end)\n"
        "requestNoteOn(60, function(c, n) note('after', n) end)\n"
        "requestNoteOn(61, function() local x = 0; for i = 1, 2000000 do x = x + i end; "
        "note('sum', x) end)");
    Send(0x90, 0, 60, 100);
    EXPECT_EQ(Log(), "after,60");
    EXPECT_EQ(Synth().Engine().GetNumHeldKeys(), 1);
    EXPECT_EQ(LuaStackDepth(Helper()), 0);

    Send(0x90, 0, 61, 100);
    EXPECT_EQ(Log(), "after,60 sum,2000001000000");
    EXPECT_EQ(Synth().Engine().GetNumHeldKeys(), 2);

    // A coroutine that runs away is stopped too, and the abort text is the one reported.
    Run("requestNoteOn(62, function() local co = coroutine.create(function() while true do end "
        "end); local ok, e = coroutine.resume(co); note(e) end)");
    Send(0x90, 0, 62, 100);
    EXPECT_EQ(Log(), "after,60 sum,2000001000000");
    EXPECT_EQ(RunLua(Helper(), "while true do end"),
              std::string("test:1: ") + TW::LuaMIDIHelper::kRunawayMessage);
    EXPECT_EQ(Synth().Engine().GetNumHeldKeys(), 3);
}

TEST_F(LuaMIDIHelperTest, TheGuardHoldsAgainstSlowInstructionsHookRemovalAndMemoryHunger)
{
    // Few instructions, much work each: the clock stops it. The hook cannot be removed or
    // replaced. A table that grows without end meets the memory limit. Between them, the
    // handler after each one runs and the interpreter is usable again.
    Run("requestNoteOn(60, function() while true do local s = string.rep('y', 1e6) end end)\n"
        "requestNoteOn(61, function() debug.sethook(); while true do end end)\n"
        "requestNoteOn(62, function() pcall(debug.sethook, function() end, '', 0); "
        "  while true do end end)\n"
        "requestNoteOn(63, function() local t = {}; for i = 1, 1e9 do "
        "  t[i] = string.rep('y', 1000) .. i end end)\n"
        "requestAllNoteOn(function(c, n) note('after', n) end)\n"
        "caught = false\n"
        "requestNoteOn(64, function() local ok, e = pcall(function() local t = {}; "
        "  local k = string.rep('z', 2^20); for i = 1, 1e9 do t[i] = k .. i end end); "
        "  caught = e end)");
    for (int note = 60; note <= 63; ++note)
        Send(0x90, 0, static_cast<std::uint8_t>(note), 100);
    EXPECT_EQ(Log(), "after,60 after,61 after,62 after,63");
    EXPECT_EQ(Synth().Engine().GetNumHeldKeys(), 4);
    EXPECT_EQ(LuaStackDepth(Helper()), 0);
    EXPECT_EQ(RunLua(Helper(), "debug.sethook()"),
              "test:1: debug.sethook() is not available to MIDI scripts: the hook belongs to "
              "the script guard");
    // A script's own pcall sees the interpreter's memory error; its garbage is collected after.
    Send(0x90, 0, 64, 100);
    EXPECT_EQ(LuaString(Helper(), "caught"), "not enough memory");
    EXPECT_LT(Helper().MemoryInUse(), std::size_t{8} << 20);
    EXPECT_EQ(RunLua(Helper(), "local s = string.rep('x', 1e7)"), "");
    // Clearing the registry (where the script functions' helper is also published) leaves the
    // script functions working.
    Run("local r = debug.getregistry(); for k in pairs(r) do "
        "  if type(k) == 'userdata' then r[k] = nil end end");
    Run("setParameter('Volume', 0.25)");
    EXPECT_FLOAT_EQ(LuaNumber(Helper(), "getParameter(0)"), 0.25);
    EXPECT_EQ(LuaString(Helper(), "type(newproxy)"), "nil");
}

TEST_F(LuaMIDIHelperTest, OSCRegistrationsDoNothingWithoutAnOSCServer)
{
    TW::OSCHelper* osc = Helper().GetOSCHelper();
    Helper().SetOSCHelper(nullptr);
    Run("registerOSCPathForParameter('/a', 'Volume')\n"
        "registerOSCPathForParameterNormalized('/b', {0, 'nothing'})\n"
        "registerOSCPathForFunction('/c', 7)");
    Helper().SetOSCHelper(osc);
    // With the server, the same calls check their arguments.
    EXPECT_EQ(RunLua(Helper(), "registerOSCPathForFunction('/c', 7)"),
              "test:1: second argument to registerOSCPathForFunction is not a function");
}

TEST(VeLuLuaMIDIHelperTest, PitchBendFactorSteps)
{
    using Helper = TarnAdditiveSynth::VeLuLuaMIDIHelper;
    EXPECT_EQ(Helper::PitchBendFactor(8192, 2.0f), 1.0f);
    EXPECT_EQ(Helper::PitchBendFactor(0, 2.0f), static_cast<float>(std::pow(2.0, -2.0 / 12.0)));
    // The product is single precision before the double division and power.
    const float product = 7.0f * 0.00012207031f * static_cast<float>(12345 - 8192);
    EXPECT_EQ(Helper::PitchBendFactor(12345, 7.0f),
              static_cast<float>(std::pow(2.0, static_cast<double>(product) * (1.0 / 12.0))));
}

} // namespace
