// Loading the MIDI scripts: the bundled default midi.lua and what it maps, a user midi.lua that
// replaces it, the order of the user and local folders, failure reports, and top-level code
// under the script guard.
#include "support/LuaTestSupport.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <sys/stat.h>

using namespace TarnTest;

namespace
{

constexpr std::uint32_t kVolume = 0;
constexpr std::uint32_t kAttack = 33;
constexpr std::uint32_t kCutoff = 139;

void Send(TestInstance& instance, std::uint8_t status, std::uint8_t d1, std::uint8_t d2)
{
    ASSERT_EQ(instance->HandleMidiEvent(status, 0, d1, d2, 0), TW::kNoErr);
    ASSERT_EQ(instance.Render(16), TW::kNoErr);
}

TEST(LuaScriptLoadingTest, DefaultScriptMapsControllersToParameters)
{
    ScratchDataHome home;
    TestInstance instance;
    ASSERT_EQ(LuaString(instance->LuaHelper(), "type(defaultControllerMap)"), "table");
    const float volume = instance->Globals().Value(kVolume);
    // A lone data-entry controller selects nothing: the NRPN mapping leaves parameter 0 alone.
    Send(instance, 0xB0, 6, 0);
    EXPECT_EQ(instance->Globals().Value(kVolume), volume);

    Send(instance, 0xB0, 7, 127);
    EXPECT_FLOAT_EQ(instance->Globals().Value(kVolume), 1.0f);
    Send(instance, 0xB0, 7, 0);
    EXPECT_FLOAT_EQ(instance->Globals().Value(kVolume), 0.0f);
    Send(instance, 0xB0, 74, 64);
    EXPECT_NEAR(instance->Globals().Value(kCutoff), 50.0 * std::pow(240.0, 64.0 / 127.0), 0.01);
    Send(instance, 0xB0, 73, 127);
    EXPECT_FLOAT_EQ(instance->Globals().Value(kAttack), 5.0f);

    // NRPN 139 (MSB 1, LSB 11) sets the cutoff over its range.
    Send(instance, 0xB0, 99, 1);
    Send(instance, 0xB0, 98, 11);
    Send(instance, 0xB0, 6, 127);
    Send(instance, 0xB0, 38, 127);
    EXPECT_FLOAT_EQ(instance->Globals().Value(kCutoff), 12000.0f);
    // A registered parameter (pitch-bend range, say) switches the mapping off.
    Send(instance, 0xB0, 101, 0);
    Send(instance, 0xB0, 100, 0);
    Send(instance, 0xB0, 6, 2);
    EXPECT_FLOAT_EQ(instance->Globals().Value(kCutoff), 12000.0f);

    // The mapping tables are the user's to change.
    ASSERT_EQ(RunLua(instance->LuaHelper(), "defaultControllerMap[7] = nil"), "");
    Send(instance, 0xB0, 7, 100);
    EXPECT_FLOAT_EQ(instance->Globals().Value(kVolume), 0.0f);
}

TEST(LuaScriptLoadingTest, AUserScriptNamedMidiLuaReplacesTheDefault)
{
    ScratchDataHome home;
    // Only the first eight characters of the name count.
    home.AddScript("midi.lua.old.lua", "replaced = true");
    TestInstance instance;
    EXPECT_EQ(LuaString(instance->LuaHelper(), "replaced"), "true");
    EXPECT_EQ(LuaString(instance->LuaHelper(), "type(defaultControllerMap)"), "nil");
    Send(instance, 0xB0, 7, 0);
    EXPECT_EQ(instance->Globals().Value(kVolume), 1.0f);
}

TEST(LuaScriptLoadingTest, UserScriptsRunBeforeLocalOnesAndFailuresAreReported)
{
    ScratchDataHome home;
    // Directory order within a folder is the system's; the local folder comes last.
    home.AddScript("midi.lua", "order = (order or '') .. 'm'");
    home.AddScript("a.lua", "order = (order or '') .. 'u'");
    home.AddScript("z.lua", "order = (order or '') .. 'l'", true);
    const std::string broken = home.AddScript("broken.lua", "this is not lua");
    const std::string failing = home.AddScript("failing.lua", "error('no luck', 0)");
    home.AddScript("table.lua", "error({})");
    home.AddScript("notes.txt", "order = 'x'");
    home.AddScript(".lua", "order = 'x'");
    testing::internal::CaptureStdout();
    TestInstance instance;
    const std::string out = testing::internal::GetCapturedStdout();

    const std::string order = LuaString(instance->LuaHelper(), "order");
    ASSERT_EQ(order.size(), 3u) << order;
    EXPECT_EQ(order.back(), 'l');
    EXPECT_NE(order.find('m'), std::string::npos);
    EXPECT_NE(order.find('u'), std::string::npos);
    EXPECT_NE(out.find("@@@ failed to run file: " + broken + ":1: '=' expected near 'is'\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("@@@ failed to run file: no luck\n"), std::string::npos) << out;
    EXPECT_NE(out.find("@@@ failed to run file: (error object is not a string)\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(LuaStackDepth(instance->LuaHelper()), 0);
}

TEST(LuaScriptLoadingTest, TopLevelCodeRunsUnderTheGuardAndLoadingGoesOn)
{
    ScratchDataHome home;
    // Runaway top-level code: endless, hook removed first, memory without end; and a FIFO
    // among the scripts, which nothing writes to. Each file fails alone; the others load.
    home.AddScript("endless.lua", "while true do end");
    home.AddScript("unhooked.lua", "debug.sethook()\nwhile true do end");
    home.AddScript("hungry.lua",
                   "local t, k = {}, string.rep('y', 2^20)\nfor i = 1, 1e9 do t[i] = k .. i end");
    const std::string fifo = home.ScriptsFolder() + "/fifo.lua";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    home.AddScript("fine.lua", "fine = true");
    home.AddScript("last.lua", "last = true", true);
    testing::internal::CaptureStdout();
    TestInstance instance;
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_TRUE(LuaBool(instance->LuaHelper(), "fine"));
    EXPECT_TRUE(LuaBool(instance->LuaHelper(), "last"));
    EXPECT_EQ(LuaString(instance->LuaHelper(), "type(defaultControllerMap)"), "table");
    // (Long chunk names are shortened from the left by the interpreter.)
    EXPECT_NE(out.find("endless.lua:1: " + std::string(TW::LuaMIDIHelper::kRunawayMessage) + "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("unhooked.lua:1: debug.sethook() is not available to MIDI scripts"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("@@@ failed to run file: not enough memory\n"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
    EXPECT_EQ(LuaStackDepth(instance->LuaHelper()), 0);
    // The memory of the failed file is the interpreter's again.
    EXPECT_LT(instance->LuaHelper().MemoryInUse(), std::size_t{8} << 20);
}

TEST(LuaScriptLoadingTest, ScriptsRunOnceAcrossInitializeAndCleanup)
{
    ScratchDataHome home;
    home.AddScript("midi.lua", "runs = (runs or 0) + 1\n"
                               "requestAllNoteOn(function() notes = (notes or 0) + 1 end)");
    TestInstance instance;
    instance->DoCleanup();
    ASSERT_EQ(instance->DoInitialize(), TW::kNoErr);
    EXPECT_EQ(LuaNumber(instance->LuaHelper(), "runs"), 1);
    Send(instance, 0x90, 60, 1);
    EXPECT_EQ(LuaNumber(instance->LuaHelper(), "notes"), 1);
}

} // namespace
