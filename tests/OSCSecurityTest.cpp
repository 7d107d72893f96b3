// What a peer on the network (or a careless script) cannot do: run the interpreter's library
// functions through "/exec", "/call" or a registered path, put NaN or infinity into a parameter
// by any route, subscribe without bound, make the server send without bound, or open a port
// outside the UDP range.
#include "osc/OSCHelper.h"
#include "platform/LogRing.h"
#include "support/LuaTestSupport.h"
#include "support/OSCTestPeer.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using TarnTest::HandleOSCPacket;
using TarnTest::LuaNumber;
using TarnTest::LuaStackDepth;
using TarnTest::OSCPacketBuilder;
using TarnTest::OSCParseError;
using TarnTest::OSCTestPeer;
using TarnTest::RunLua;
using TarnTest::TestInstance;

namespace
{

const IpEndpointName kRemote(IpEndpointName::ANY_ADDRESS, 9);
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class OSCSecurity : public testing::Test
{
protected:
    TarnTest::ScratchDataHome m_home;
    TestInstance m_synth;
    TW::OSCHelper& m_osc = m_synth->OSC();
    TW::LuaMIDIHelper& m_lua = m_synth->LuaHelper();
};

TEST_F(OSCSecurity, ExecAndCallReachOnlyFunctionsTheScriptsDefined)
{
    ASSERT_EQ(RunLua(m_lua, "calls = 0\n"
                            "function mine(x) calls = calls + 1 end\n"
                            "alias = dofile\n"
                            "callable = setmetatable({}, {__call = function() calls = 99 end})\n"
                            "registerOSCPathForFunction('/run', os.execute)"),
              "");
    const int depth = LuaStackDepth(m_lua);
    OSCTestPeer peer;
    for (const char* name : {"dofile", "loadfile", "loadstring", "load", "require", "print",
                             "pcall", "setParameter", "alias", "callable"})
    {
        OSCPacketBuilder exec;
        *exec << osc::BeginMessage("/exec") << name << "/dev/stdin" << osc::EndMessage;
        EXPECT_EQ(
            HandleOSCPacket(m_osc, exec),
            OSCParseError("/exec", std::string("not a function of the MIDI scripts: ") + name));
        OSCPacketBuilder call;
        *call << osc::BeginMessage("/call") << name << peer.URL().c_str() << "/r"
              << "x" << osc::EndMessage;
        EXPECT_EQ(
            HandleOSCPacket(m_osc, call),
            OSCParseError("/call", std::string("not a function of the MIDI scripts: ") + name));
    }
    // A library function registered for a path is refused the same way.
    OSCPacketBuilder path;
    *path << osc::BeginMessage("/run") << "touch /tmp/velluna-osc-was-here" << osc::EndMessage;
    EXPECT_EQ(
        HandleOSCPacket(m_osc, path),
        OSCParseError("/run", "not a function of the MIDI scripts: the one registered for /run"));
    EXPECT_FALSE(peer.Receive(std::chrono::milliseconds(50)));
    EXPECT_EQ(LuaNumber(m_lua, "calls"), 0.0);
    // The scripts' own functions still run, with finite arguments only.
    OSCPacketBuilder ok;
    *ok << osc::BeginMessage("/exec") << "mine" << 1.5f << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, ok), "");
    EXPECT_EQ(LuaNumber(m_lua, "calls"), 1.0);
    OSCPacketBuilder nan;
    *nan << osc::BeginMessage("/exec") << "mine" << kNaN << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, nan), OSCParseError("/exec", "value is not a finite number"));
    OSCPacketBuilder inf;
    *inf << osc::BeginMessage("/exec") << "mine" << -std::numeric_limits<double>::infinity()
         << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, inf), OSCParseError("/exec", "value is not a finite number"));
    EXPECT_EQ(LuaNumber(m_lua, "calls"), 1.0);
    EXPECT_EQ(LuaStackDepth(m_lua), depth);
}

TEST_F(OSCSecurity, NoRouteStoresANonFiniteValue)
{
    const float volume = m_synth->Globals().Value(0);
    // Scripts (also values beyond the float range), other instances through the tracker,
    // script functions called over OSC, and the host.
    for (const char* code :
         {"setParameter(0, 0/0)", "setParameter('Volume', 1/0)", "setParameter(0, 1e39)",
          "setOthersParameter(0, 0, 0/0)", "setParameter(0, tonumber('nan'))"})
        EXPECT_EQ(RunLua(m_lua, code), "test:1: value is not a finite number") << code;
    ASSERT_EQ(RunLua(m_lua, "function set(v) setParameter(0, tonumber(v)) end"), "");
    OSCPacketBuilder p;
    *p << osc::BeginMessage("/exec") << "set"
       << "-inf" << osc::EndMessage;
    EXPECT_EQ(HandleOSCPacket(m_osc, p), OSCParseError("/exec", "failed to exec function"));
    for (float bad : {kNaN, kInf, -kInf})
    {
        EXPECT_EQ(m_synth->DispatchSetParameter(0, TW::Scope::Global, 0, bad, 0),
                  TW::kErrInvalidParameter);
        EXPECT_EQ(
            TW::AUParameterSet(nullptr, nullptr, {m_synth.get(), 0, TW::Scope::Global, 0}, bad, 0),
            TW::kErrInvalidParameter);
    }
    EXPECT_EQ(m_synth->Globals().Value(0), volume);
    // Finite values are stored as given, out of range too.
    EXPECT_EQ(RunLua(m_lua, "setParameter(0, 1000)"), "");
    EXPECT_EQ(m_synth->Globals().Value(0), 1000.0f);
}

TEST_F(OSCSecurity, SubscriptionsAreCappedAndRepliesRateLimited)
{
    OSCTestPeer peer;
    const std::string url = peer.URL();
    std::string refusal;
    std::size_t accepted = 0;
    for (int i = 0; i < 300; ++i)
    {
        OSCPacketBuilder p;
        const std::string path = "/s" + std::to_string(i);
        *p << osc::BeginMessage("/registerUpdate") << osc::int32(i % 140) << url.c_str()
           << path.c_str() << osc::EndMessage;
        const std::string out = HandleOSCPacket(m_osc, p);
        if (out.empty())
            ++accepted;
        else if (refusal.empty())
            refusal = out;
    }
    EXPECT_EQ(accepted, TW::OSCHelper::kMaxSubscriptions);
    EXPECT_EQ(refusal, OSCParseError("/registerUpdate",
                                     "too many subscriptions: an instance keeps at most " +
                                         std::to_string(TW::OSCHelper::kMaxSubscriptions)));

    // Requests that each send many replies: no more than the limit leave within a second.
    testing::internal::CaptureStdout();
    for (int i = 0; i < 6; ++i)
    {
        OSCPacketBuilder all;
        *all << osc::BeginMessage("/getAllRegistered") << osc::EndMessage;
        m_osc.HandlePacket(all.Data(), all.Size(), kRemote);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    const auto replies = peer.ReceiveAll();
    EXPECT_LE(replies.size(), static_cast<std::size_t>(TW::OSCHelper::kMaxRepliesPerSecond));
    EXPECT_FALSE(replies.empty());
    EXPECT_NE(out.find("OSC replies above 1000 per second are dropped"), std::string::npos) << out;
}

TEST_F(OSCSecurity, APortOutsideTheUDPRangeOpensNothingAndIsReportedOnce)
{
    // The default base port is 7000 (no preference in the scratch home).
    for (float offset : {58536.0f, 93000.0f, 2147483000.0f, -8000.0f})
    {
        testing::internal::CaptureStdout();
        ASSERT_EQ(m_synth.Set(180, offset), TW::kNoErr);
        ASSERT_EQ(m_synth.Set(180, offset), TW::kNoErr);
        TW::LogRing::Get().Flush(); // the refusal may come from the render thread: it is queued
        const std::string out = testing::internal::GetCapturedStdout();
        const long long port = 7000 + static_cast<long long>(offset);
        EXPECT_EQ(out, "OSC port " + std::to_string(port) +
                           " is outside 1..65535: the OSC server stays off\n")
            << offset;
        EXPECT_EQ(m_osc.GetPort(), 0);
    }
    EXPECT_EQ(m_osc.GetListeningPort(), 0);
}

} // namespace
