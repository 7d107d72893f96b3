// The application's main event loop as far as timers go. Inside a plug-in on Linux there is no
// event loop of the host that we may use, so one process-wide thread stands in for it: it runs
// installed timers in due order, a one-shot timer at most once, a periodic timer at its interval.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace TW
{

// Identifies one installed timer. Never reused within a process; 0 is no timer.
using TimerHandle = std::uint64_t;

// Called on the loop thread with the timer that fired and the installer's user data.
using TimerProc = void (*)(TimerHandle timer, void* userData);

class MainLoop
{
public:
    // Shortest interval of a periodic timer, seconds: a smaller one would keep the loop thread
    // (and any lock its callbacks take) busy without pause.
    static constexpr double kMinimumInterval = 0.001;

    // The process-wide loop. Its thread starts with the first timer and is stopped and joined
    // when the process exits (or the plug-in library is unloaded). Any thread.
    static MainLoop& Get();

    // Installs a timer that first fires after delay seconds and then every interval seconds;
    // an interval of 0 or less makes it a one-shot timer, removed before its only call. Delays
    // below 0 or not numbers count as 0. Any thread.
    TimerHandle InstallTimer(double delay, double interval, TimerProc proc, void* userData);

    // Removes a timer; false when it is not installed (it was removed before, or it was a
    // one-shot timer that has fired). Does not wait for a call in progress, so it may be used by
    // code that a timer callback could be waiting for. Any thread.
    bool RemoveTimer(TimerHandle timer);

    // Removes every timer installed with userData and, unless called on the loop thread, waits
    // until no callback for userData runs any more. For the owner of userData before it goes
    // away; it must not hold anything such a callback waits for. Any thread.
    void RemoveTimers(void* userData);

    // True on the loop thread (inside a timer callback). Any thread.
    bool IsLoopThread() const noexcept;

    // Timers installed now. Any thread.
    std::size_t GetTimerCount() const;

    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

private:
    using Clock = std::chrono::steady_clock;

    struct Timer
    {
        Clock::time_point due;
        Clock::duration interval; // zero for one-shot
        TimerProc proc;
        void* userData;
    };

    MainLoop() = default;
    ~MainLoop() = default;

    void Run();
    void Stop();
    static void StopAtExit();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;     // new timers, removals, stop
    std::condition_variable m_callDone; // a callback returned
    std::map<TimerHandle, Timer> m_timers;
    std::multimap<Clock::time_point, TimerHandle> m_schedule;
    TimerHandle m_nextHandle = 1;
    void* m_runningUserData = nullptr; // user data of the callback in progress
    bool m_callInProgress = false;
    bool m_stopping = false;
    bool m_stopped = false;
    std::thread m_thread;
    std::thread::id m_threadId;
};

} // namespace TW
