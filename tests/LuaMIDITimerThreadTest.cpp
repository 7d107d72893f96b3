// Script timers: requestTimedCallback fires once, requestPeriodicCallback until cancelled,
// cancelTimer is exact and harmless when repeated, errors and runaway timer functions are
// discarded, and an instance can go away while its timers are live.
#include "support/LuaTestSupport.h"
#include "support/TestInstance.h"

#include "platform/MainLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace TarnTest;
using namespace std::chrono_literals;

namespace
{

class LuaMIDITimerThreadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_home.AddScript("midi.lua", "fired = 0");
        m_instance = std::make_unique<TestInstance>();
        ASSERT_NE(Helper().LuaInit(), nullptr);
    }

    TW::LuaMIDIHelper& Helper() { return (*m_instance)->LuaHelper(); }
    void Run(const std::string& code) { ASSERT_EQ(RunLua(Helper(), code), ""); }
    double Fired() { return LuaNumber(Helper(), "fired"); }

    // Polls (up to 5 s) until the script's count of calls reaches n.
    bool WaitForFired(double n)
    {
        for (int i = 0; i < 1000; ++i)
        {
            if (Fired() >= n)
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    ScratchDataHome m_home;
    std::unique_ptr<TestInstance> m_instance;
};

TEST_F(LuaMIDITimerThreadTest, OneShotFiresOnceAndCancelAfterwardsIsHarmless)
{
    Run("t = requestTimedCallback(0.01, function() fired = fired + 1 end)");
    EXPECT_EQ(LuaString(Helper(), "type(t)"), "userdata");
    ASSERT_TRUE(WaitForFired(1));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Fired(), 1);
    Run("cancelTimer(t); cancelTimer(t)");
    EXPECT_EQ(LuaStackDepth(Helper()), 0);
}

TEST_F(LuaMIDITimerThreadTest, CancelledTimerNeverFires)
{
    const std::size_t before = TW::MainLoop::Get().GetTimerCount();
    Run("t = requestTimedCallback(0.05, function() fired = fired + 1 end)\n"
        "p = requestPeriodicCallback(0.05, function() fired = fired + 1 end)\n"
        "cancelTimer(t); cancelTimer(p)");
    EXPECT_EQ(TW::MainLoop::Get().GetTimerCount(), before);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(Fired(), 0);
}

TEST_F(LuaMIDITimerThreadTest, PeriodicTimerRepeatsUntilCancelledFromItsOwnFunction)
{
    // Its errors are discarded and do not stop it; it cancels itself on the fifth call.
    Run("p = requestPeriodicCallback(0.005, function()\n"
        "  fired = fired + 1\n"
        "  if fired == 5 then cancelTimer(p) end\n"
        "  error('ignored')\n"
        "end)");
    ASSERT_TRUE(WaitForFired(5));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Fired(), 5);
    EXPECT_EQ(LuaStackDepth(Helper()), 0);
}

TEST_F(LuaMIDITimerThreadTest, RunawayTimerFunctionIsAborted)
{
    Run("requestTimedCallback(0, function() while true do end end)\n"
        "requestTimedCallback(0.02, function() fired = fired + 1 end)");
    ASSERT_TRUE(WaitForFired(1));
    EXPECT_EQ(LuaStackDepth(Helper()), 0);
}

TEST_F(LuaMIDITimerThreadTest, InstanceGoesAwayWhileTimersRun)
{
    const std::size_t before = TW::MainLoop::Get().GetTimerCount();
    Run("requestPeriodicCallback(0.001, function() fired = fired + 1; "
        "setParameter('Volume', fired % 2); setGUIBoolValue(1, fired % 2 == 0) end)\n"
        "requestTimedCallback(5, function() end)");
    ASSERT_TRUE(WaitForFired(3));
    m_instance.reset();
    EXPECT_EQ(TW::MainLoop::Get().GetTimerCount(), before);
}

} // namespace
