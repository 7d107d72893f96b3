// A host that carries a Lua of its own, as some DAWs do: this program links Lua 5.4 statically
// and exports its lua_* symbols (-rdynamic), then loads each plug-in binary and plays A4 through a
// user MIDI script whose note-on handler raises Coarse Tune an octave before the instrument plays the note. The note must sound at
// 880 Hz: the handler ran in the plug-in's own Lua 5.1, not in the host's.
#include "AudioChecks.h"
#include "ClapHost.h"
#include "Lv2Host.h"
#include "UserFolders.h"
#include "Vst3Host.h"

#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

using namespace VellunaHostTest;

namespace
{

constexpr double kRate = 48000.0;
constexpr std::uint32_t kBlock = 256;
constexpr std::uint32_t kFrames = 24000;

class ForeignLuaHostTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        IsolateUserFolders();
        std::string folder = std::getenv("XDG_DATA_HOME");
        ::mkdir(folder.c_str(), 0700);
        for (const char* part : {"/Tarnwick", "/Velluna", "/Scripts"})
            ::mkdir((folder += part).c_str(), 0700);
        std::ofstream(folder + "/octave.lua")
            << "requestAllNoteOn(function(channel, note, velocity)\n"
               "    setParameter('Coarse Tune', 12)\n"
               "end)\n";
    }

    // The host's own interpreter stays in use around every plug-in call.
    void SetUp() override
    {
        m_hostLua = luaL_newstate();
        ASSERT_NE(m_hostLua, nullptr);
        luaL_openlibs(m_hostLua);
        EXPECT_EQ(HostEval("return math.type(6 * 7)"), "integer"); // a 5.3+ interpreter
    }
    void TearDown() override
    {
        EXPECT_EQ(HostEval("return _VERSION"), LUA_VERSION);
        lua_close(m_hostLua);
    }

    std::string HostEval(const char* code)
    {
        if (luaL_dostring(m_hostLua, code) != LUA_OK)
            return "error";
        std::string result = lua_tostring(m_hostLua, -1);
        lua_settop(m_hostLua, 0);
        return result;
    }

    static void ExpectOctaveUp(const std::vector<float>& left)
    {
        ASSERT_EQ(left.size() % kBlock, 0u);
        ASSERT_GE(left.size(), static_cast<std::size_t>(kFrames));
        for (float x : left)
            ASSERT_TRUE(std::isfinite(x));
        EXPECT_GT(Peak(left), 0.01f);
        EXPECT_NEAR(ZeroCrossingPitch(left, 6000, kFrames, kRate), 880.0, 4.0);
    }

    lua_State* m_hostLua = nullptr;
};

const std::vector<std::uint8_t> kNoteOnA4 = {0x90, 69, 100};

TEST_F(ForeignLuaHostTest, Lv2PlaysThroughItsOwnLua)
{
    Lv2World world;
    UridMap urids;
    Lv2Instance lv2(world, urids, kRate, kBlock);
    ASSERT_TRUE(lv2.Valid());
    lv2.Run({{10, kNoteOnA4}});
    lv2.RunFrames(kFrames - kBlock);
    ExpectOctaveUp(lv2.Left());
}

TEST_F(ForeignLuaHostTest, Vst3PlaysThroughItsOwnLua)
{
    Vst3Module module;
    ASSERT_TRUE(module.Load(VELLUNA_VST3_FILE));
    Vst3Abi::PClassInfo info{};
    ASSERT_TRUE(module.FindAudioModule(info));
    Vst3Module::Instance inst = module.Create(info);
    ASSERT_TRUE(inst.component && inst.processor);
    module.Start(inst);
    std::vector<float> left;
    module.Render(inst, {Vst3Module::NoteOn(10, 69)}, kFrames, left);
    module.Destroy(inst);
    ExpectOctaveUp(left);
}

TEST_F(ForeignLuaHostTest, ClapPlaysThroughItsOwnLua)
{
    ClapLibrary library(VELLUNA_CLAP_FILE);
    ClapInstance clap(library, kRate, kBlock);
    ASSERT_TRUE(clap.Valid());
    clap.Midi(10, kNoteOnA4[0], kNoteOnA4[1], kNoteOnA4[2]);
    clap.ProcessFrames(kFrames);
    ExpectOctaveUp(clap.Left());
}

} // namespace
