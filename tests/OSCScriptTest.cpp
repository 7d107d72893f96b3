// Where OSC meets the MIDI scripts: "/exec" and "/call" with their conversions, paths that
// scripts register for functions and parameters, the scripts' own sendOSC, and notes over OSC
// as scripts see them.
#include "osc/OSCHelper.h"
#include "support/LuaTestSupport.h"
#include "support/OSCTestPeer.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <cmath>

using TarnTest::HandleOSCPacket;
using TarnTest::LuaNumber;
using TarnTest::LuaStackDepth;
using TarnTest::LuaString;
using TarnTest::OSCPacketBuilder;
using TarnTest::OSCParseError;
using TarnTest::OSCTestPeer;
using TarnTest::RunLua;
using TarnTest::TestInstance;

namespace
{

class OSCScripts : public testing::Test
{
protected:
    TarnTest::ScratchDataHome m_home; // no user scripts
    TestInstance m_synth;
    TW::OSCHelper& m_osc = m_synth->OSC();
    TW::LuaMIDIHelper& m_lua = m_synth->LuaHelper();
};

} // namespace

TEST_F(OSCScripts, ExecConvertsEveryArgumentTypeAndRefusesOthers)
{
    ASSERT_EQ(RunLua(m_lua,
                     "calls = 0\n"
                     "function f(...) calls = calls + 1; n = select('#', ...); a = {...} end"),
              "");
    const int depth = LuaStackDepth(m_lua);
    OSCPacketBuilder p;
    *p << osc::BeginMessage("/exec") << "f" << true << false << osc::OscNil << osc::int32(-3)
       << osc::int64(1) << 2.5f << 0.125 << "text" << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, p), "");
    EXPECT_EQ(LuaNumber(m_lua, "calls"), 1.0);
    EXPECT_EQ(LuaNumber(m_lua, "n"), 8.0);
    EXPECT_EQ(LuaString(m_lua, "tostring(a[1]) .. tostring(a[2]) .. tostring(a[3])"),
              "truefalsenil");
    EXPECT_EQ(LuaNumber(m_lua, "a[4]"), -3.0);
    EXPECT_EQ(LuaNumber(m_lua, "a[5]"), 1.0);
    EXPECT_EQ(LuaNumber(m_lua, "a[6]"), 2.5);
    EXPECT_EQ(LuaNumber(m_lua, "a[7]"), 0.125);
    EXPECT_EQ(LuaString(m_lua, "a[8]"), "text");

    // A blob is refused and nothing is called.
    const char blob[3] = {1, 2, 3};
    OSCPacketBuilder b;
    *b << osc::BeginMessage("/exec") << "f" << osc::Blob(blob, 3) << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, b), OSCParseError("/exec", "unhandled argument type to exec"));
    EXPECT_EQ(LuaNumber(m_lua, "calls"), 1.0);

    // A missing global, and a function that fails, are both "failed to exec function".
    ASSERT_EQ(RunLua(m_lua, "function boom() error('no') end"), "");
    for (const char* name : {"nosuch", "boom"})
    {
        OSCPacketBuilder m;
        *m << osc::BeginMessage("/exec") << name << osc::EndMessage;
        EXPECT_EQ(HandleOSCPacket(m_osc, m), OSCParseError("/exec", "failed to exec function"))
            << name;
    }
    OSCPacketBuilder none;
    *none << osc::BeginMessage("/exec") << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, none), OSCParseError("/exec", "missing argument"));
    EXPECT_EQ(LuaStackDepth(m_lua), depth);
}

TEST_F(OSCScripts, CallRepliesWithNumbersAndStringsUpToTheFirstNil)
{
    ASSERT_EQ(RunLua(m_lua, "function r(x) return 1, 'two', nil, 2 end\n"
                            "function t() return 5, {} end"),
              "");
    const int depth = LuaStackDepth(m_lua);
    OSCTestPeer peer;
    OSCPacketBuilder p;
    *p << osc::BeginMessage("/call") << "r" << peer.URL().c_str() << "/r" << 7.0f
       << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, p), "");
    auto reply = peer.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->TimeTag(), 1u);
    auto messages = reply->Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_STREQ(messages[0].AddressPattern(), "/r");
    EXPECT_STREQ(messages[0].TypeTags(), "fs");
    float one = 0;
    const char* two = nullptr;
    messages[0].ArgumentStream() >> one >> two >> osc::EndMessage;
    EXPECT_EQ(one, 1.0f);
    EXPECT_STREQ(two, "two");

    // A result that is neither number nor string: nothing is sent.
    OSCPacketBuilder t;
    *t << osc::BeginMessage("/call") << "t" << peer.URL().c_str() << "/t" << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, t),
              OSCParseError("/call", "unhandled argument type return from call"));
    EXPECT_FALSE(peer.Receive(std::chrono::milliseconds(100)));
    EXPECT_EQ(LuaStackDepth(m_lua), depth);
}

TEST_F(OSCScripts, ScriptPathsForFunctionsAndParameters)
{
    ASSERT_EQ(RunLua(m_lua, "registerOSCPathForFunction('/fp', function(a) first = a end)\n"
                            "registerOSCPathForFunction('/fp', function(a) second = a * 2 end)\n"
                            "registerOSCPathForFunction('/bad', function() error('x') end)\n"
                            "registerOSCPathForFunction('/bad', function() reached = true end)\n"
                            "registerOSCPathForParameterNormalized('/cut', 'Filter Cutoff')\n"
                            "registerOSCPathForParameter('/levels', {1, 'Level 2'})"),
              "");
    OSCPacketBuilder fp;
    *fp << osc::BeginMessage("/fp") << 3.0f << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, fp), "");
    EXPECT_EQ(LuaNumber(m_lua, "first"), 3.0);
    EXPECT_EQ(LuaNumber(m_lua, "second"), 6.0);

    OSCPacketBuilder bad;
    *bad << osc::BeginMessage("/bad") << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, bad), OSCParseError("/bad", "failed to pcall function"));
    EXPECT_EQ(LuaString(m_lua, "tostring(reached)"), "nil");

    OSCPacketBuilder cut;
    *cut << osc::BeginMessage("/cut") << 0.5f << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, cut), "");
    EXPECT_EQ(m_synth->GetParameter(139), 6025.0f);

    OSCPacketBuilder levels;
    *levels << osc::BeginMessage("/levels") << 0.25f << -0.5f << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, levels), "");
    EXPECT_EQ(m_synth->GetParameter(1), 0.25f);
    EXPECT_EQ(m_synth->GetParameter(2), -0.5f);

    // A second registration of another length is reported and not made; the script goes on.
    testing::internal::CaptureStdout();
    const std::string error = RunLua(m_lua, "registerOSCPathForParameter('/cut', {1, 2})\n"
                                            "goneOn = true");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "@@@ inconsistent sizes in RegisterOSCPathForParameter\n");
    EXPECT_EQ(error, "");
    EXPECT_EQ(LuaString(m_lua, "tostring(goneOn)"), "true");
    EXPECT_EQ(HandleOSCPacket(m_osc, cut), "");

    EXPECT_EQ(RunLua(m_lua, "registerOSCPathForParameter('/x', 'volume')"),
              "test:1: parameter not found: 'volume'");
    EXPECT_EQ(RunLua(m_lua, "registerOSCPathForParameterNormalized('/x', 181)"),
              "test:1: parameter out of range: 181");
    EXPECT_EQ(RunLua(m_lua, "registerOSCPathForFunction('/y', 3)"),
              "test:1: second argument to registerOSCPathForFunction is not a function");
    OSCPacketBuilder x;
    *x << osc::BeginMessage("/x") << 0.5f << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, x), ""); // nothing was registered: ignored
}

TEST_F(OSCScripts, SendOSCFromScripts)
{
    OSCTestPeer peer;
    const std::string url = "'" + peer.URL() + "'";
    ASSERT_EQ(RunLua(m_lua, "sendOSC(" + url + ", '/a', 'if', {3.7, 2})"), "");
    {
        auto packet = peer.Receive();
        ASSERT_TRUE(packet);
        EXPECT_EQ(packet->TimeTag(), 1u);
        auto m = packet->Messages();
        ASSERT_EQ(m.size(), 1u);
        EXPECT_STREQ(m[0].TypeTags(), "if");
        osc::int32 i = 0;
        float f = 0;
        m[0].ArgumentStream() >> i >> f >> osc::EndMessage;
        EXPECT_EQ(i, 3);
        EXPECT_EQ(f, 2.0f);
    }
    ASSERT_EQ(RunLua(m_lua, "sendOSC(" + url + ", '/b', {'12', 'word'})"), "");
    {
        auto packet = peer.Receive();
        ASSERT_TRUE(packet);
        auto m = packet->Messages();
        ASSERT_EQ(m.size(), 1u);
        EXPECT_STREQ(m[0].TypeTags(), "fs");
    }
    ASSERT_EQ(RunLua(m_lua, "sendOSC(" + url + ", '/c')"), "");
    {
        auto packet = peer.Receive();
        ASSERT_TRUE(packet);
        auto m = packet->Messages();
        ASSERT_EQ(m.size(), 1u);
        EXPECT_STREQ(m[0].AddressPattern(), "/c");
        EXPECT_EQ(m[0].ArgumentCount(), 0u);
    }
    EXPECT_EQ(RunLua(m_lua, "sendOSC(" + url + ", '/d', 'i', {1, 2})"),
              "test:1: format string length mismatch in sendOSC");
    EXPECT_EQ(RunLua(m_lua, "sendOSC(" + url + ", '/e', {true})"),
              "test:1: unhandled argument type return from call");
    EXPECT_FALSE(peer.Receive(std::chrono::milliseconds(100)));
}

TEST_F(OSCScripts, NotesOverOSCReachScriptsOnChannelTwo)
{
    ASSERT_EQ(RunLua(m_lua, "requestAllNoteOn(function(c, n, v) on = {c, n, v} end)\n"
                            "requestAllNoteOff(function(c, n, v) off = {c, n, v} end)"),
              "");
    OSCPacketBuilder start;
    *start << osc::BeginMessage("/startNote") << osc::int32(60) << 0.5f << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, start), "");
    m_synth.Render(64);
    EXPECT_EQ(LuaNumber(m_lua, "on[1]"), 2.0);
    EXPECT_EQ(LuaNumber(m_lua, "on[2]"), 60.0);
    EXPECT_EQ(LuaNumber(m_lua, "on[3]"), 63.0);
    m_synth.RenderFrames(4800);
    float peak = 0.0f;
    for (float v : m_synth.Left())
        peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.01f);

    OSCPacketBuilder stop;
    *stop << osc::BeginMessage("/stopNote") << osc::int32(60) << 0.25f << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, stop), "");
    m_synth.Render(64);
    EXPECT_EQ(LuaNumber(m_lua, "off[1]"), 2.0);
    EXPECT_EQ(LuaNumber(m_lua, "off[3]"), 31.0);
}
