// Waits for a condition while an editor window's events are handled, as a host's loop would:
// the test's own X connection is synced, then the window pumped (an X11Bridge's Pump, a
// PluginEditor's Idle), every 5 ms until done() holds or the limit passes.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <thread>

namespace TarnTest
{

template <class EditorWindow>
bool PumpUntil(EditorWindow& window, Display* host, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(3))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end)
    {
        XSync(host, False);
        if constexpr (requires { window.Pump(); })
            window.Pump();
        else
            window.Idle();
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace TarnTest
