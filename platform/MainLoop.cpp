#include "MainLoop.h"

#include <atomic>
#include <cmath>
#include <cstdlib>

namespace TW
{
namespace
{

// The loop thread's id, default-constructed (no thread) until the thread starts.
std::atomic<std::thread::id> g_loopThreadId{};

// Seconds from a script or a caller as a clock duration: not numbers and negative values are
// 0, and anything beyond about 30 years is cut there so the due time cannot overflow.
std::chrono::steady_clock::duration ToDuration(double seconds)
{
    constexpr double kLongest = 1.0e9;
    if (!(seconds > 0.0))
        seconds = 0.0;
    else if (seconds > kLongest)
        seconds = kLongest;
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
}

} // namespace

MainLoop& MainLoop::Get()
{
    // Never destroyed: instances and their timers may outlive static destruction; the thread is
    // stopped at exit by StopAtExit.
    static MainLoop* const loop = new MainLoop();
    return *loop;
}

TimerHandle MainLoop::InstallTimer(double delay, double interval, TimerProc proc, void* userData)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_thread.joinable() && !m_stopped)
    {
        m_thread = std::thread([this] { Run(); });
        g_loopThreadId.store(m_thread.get_id());
        static const bool registered = (std::atexit(&MainLoop::StopAtExit), true);
        (void)registered;
    }
    const TimerHandle handle = m_nextHandle++;
    Timer timer;
    timer.due = Clock::now() + ToDuration(delay);
    timer.interval = Clock::duration::zero();
    if (interval > 0.0)
        timer.interval = ToDuration(std::fmax(interval, kMinimumInterval));
    timer.proc = proc;
    timer.userData = userData;
    m_timers.emplace(handle, timer);
    m_schedule.emplace(timer.due, handle);
    m_wake.notify_one();
    return handle;
}

bool MainLoop::RemoveTimer(TimerHandle handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_timers.find(handle);
    if (it == m_timers.end())
        return false;
    auto [first, last] = m_schedule.equal_range(it->second.due);
    for (auto s = first; s != last; ++s)
        if (s->second == handle)
        {
            m_schedule.erase(s);
            break;
        }
    m_timers.erase(it);
    return true;
}

void MainLoop::RemoveTimers(void* userData)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (auto it = m_timers.begin(); it != m_timers.end();)
    {
        if (it->second.userData != userData)
        {
            ++it;
            continue;
        }
        auto [first, last] = m_schedule.equal_range(it->second.due);
        for (auto s = first; s != last; ++s)
            if (s->second == it->first)
            {
                m_schedule.erase(s);
                break;
            }
        it = m_timers.erase(it);
    }
    if (IsLoopThread())
        return;
    m_callDone.wait(lock, [&] { return !(m_callInProgress && m_runningUserData == userData); });
}

bool MainLoop::IsLoopThread() const noexcept
{
    return g_loopThreadId.load() == std::this_thread::get_id();
}

std::size_t MainLoop::GetTimerCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timers.size();
}

void MainLoop::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping)
    {
        if (m_schedule.empty())
        {
            m_wake.wait(lock);
            continue;
        }
        const auto next = m_schedule.begin();
        const Clock::time_point now = Clock::now();
        if (next->first > now)
        {
            // A copy: the entry may be removed while we wait.
            const Clock::time_point due = next->first;
            m_wake.wait_until(lock, due);
            continue;
        }
        const TimerHandle handle = next->second;
        m_schedule.erase(next);
        const auto it = m_timers.find(handle);
        if (it == m_timers.end())
            continue;
        const Timer timer = it->second;
        if (timer.interval == Clock::duration::zero())
        {
            // One-shot: gone before its call, so it can never run twice.
            m_timers.erase(it);
        }
        else
        {
            // Periodic: keep the beat of the first due time; after a late call, skip the beats
            // that were missed rather than firing them back to back.
            Clock::time_point due = timer.due + timer.interval;
            if (due <= now)
                due = now + timer.interval;
            it->second.due = due;
            m_schedule.emplace(due, handle);
        }
        m_callInProgress = true;
        m_runningUserData = timer.userData;
        lock.unlock();
        timer.proc(handle, timer.userData);
        lock.lock();
        m_callInProgress = false;
        m_runningUserData = nullptr;
        m_callDone.notify_all();
    }
}

void MainLoop::Stop()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_stopped = true;
        thread = std::move(m_thread);
        m_wake.notify_all();
    }
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach(); // exit called from a timer callback: the thread ends with the process
    else
        thread.join();
}

void MainLoop::StopAtExit()
{
    Get().Stop();
}

} // namespace TW
