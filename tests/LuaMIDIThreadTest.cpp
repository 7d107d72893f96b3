// The script lock under load: the render thread dispatches queued MIDI to script handlers while
// script timers fire on the main-loop thread and a third thread calls script functions the way
// the OSC server does. Run under ThreadSanitizer as well.
#include "support/LuaTestSupport.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>
#include <lua.hpp>

#include <atomic>
#include <chrono>
#include <thread>

using namespace TarnTest;
using namespace std::chrono_literals;

namespace
{

TEST(LuaMIDIThreadTest, RenderTimersAndRemoteCallsShareTheInterpreter)
{
    ScratchDataHome home;
    home.AddScript("midi.lua",
                   "handled, ticks, calls = 0, 0, 0\n"
                   "requestAllNoteOn(function(c, n, v) handled = handled + 1; "
                   "setParameter('Filter Cutoff', 100 + n) end)\n"
                   "requestAllCC(function(c, n, v) handled = handled + 1; "
                   "setGUIBoolValue(n % 8, v > 63) end)\n"
                   "requestAllNoteOff(function() handled = handled + 1 end)\n"
                   "periodic = requestPeriodicCallback(0.001, function() ticks = ticks + 1; "
                   "setParameter('Volume', (ticks % 10) / 10) end)\n"
                   "function remote(x) calls = calls + x; "
                   "requestTimedCallback(0, function() ticks = ticks + 1 end) end\n");
    TestInstance instance;
    TW::LuaMIDIHelper& lua = instance->LuaHelper();
    ASSERT_NE(lua.LuaInit(), nullptr);

    std::atomic<bool> stop{false};
    constexpr int kMessages = 6000;

    // The host's MIDI thread writes the queue; this (render) thread reads it while rendering.
    std::thread midi(
        [&]
        {
            for (int i = 0; i < kMessages && !stop; ++i)
            {
                // Controllers 1..60 only: 64, 120 and 123 never reach scripts.
                const std::uint8_t status = i % 3 == 0 ? 0x90 : i % 3 == 1 ? 0xB0 : 0x80;
                const auto n = static_cast<std::uint8_t>(status == 0xB0 ? 1 + i % 60 : i % 128);
                while (instance->HandleMidiEvent(status, 0, n, 100, 0) != TW::kNoErr && !stop)
                    std::this_thread::sleep_for(100us);
            }
        });
    // A remote caller: pushes a global function and its argument under the script lock.
    std::atomic<int> remoteCalls{0};
    std::thread remote(
        [&]
        {
            while (!stop)
            {
                {
                    std::lock_guard<std::recursive_mutex> lock(lua.GetScriptLock());
                    lua_State* L = lua.LuaInit();
                    const int top = lua_gettop(L);
                    lua_getglobal(L, "remote");
                    lua_pushinteger(L, 1);
                    if (lua.protectedPcall(1) == 0)
                        ++remoteCalls;
                    lua_settop(L, top);
                }
                std::this_thread::sleep_for(200us);
            }
        });

    // Generous: under ThreadSanitizer on a loaded machine the stream takes many seconds.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (LuaNumber(lua, "handled") < kMessages && std::chrono::steady_clock::now() < deadline)
        ASSERT_EQ(instance.Render(64), TW::kNoErr);
    stop = true;
    midi.join();
    remote.join();

    EXPECT_EQ(LuaNumber(lua, "handled"), kMessages);
    EXPECT_GT(LuaNumber(lua, "ticks"), 0);
    EXPECT_EQ(LuaNumber(lua, "calls"), remoteCalls.load());
    EXPECT_GT(remoteCalls.load(), 0);
    EXPECT_EQ(LuaStackDepth(lua), 0);
    ASSERT_EQ(RunLua(lua, "cancelTimer(periodic)"), "");
}

} // namespace
