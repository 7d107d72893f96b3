// What the OSC server's two tasks wait on: an event carrying flag bits (quit, wake up) and a
// done signal that a task gives as it ends, which its owner waits for with a time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace TW
{

class OSCTaskEvent
{
public:
    static constexpr unsigned kQuit = 1;
    static constexpr unsigned kWakeUp = 2;

    // Any thread: adds flag bits and wakes the waiting task.
    void Set(unsigned flags)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_flags |= flags;
        }
        m_changed.notify_all();
    }

    // The task's own thread: waits without limit until a flag is set, then takes (and clears)
    // all flags.
    unsigned Wait()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return m_flags != 0; });
        const unsigned flags = m_flags;
        m_flags = 0;
        return flags;
    }

    // Any thread: clears all flags (a new task starts from none).
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_flags = 0;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    unsigned m_flags = 0;
};

class OSCDoneSignal
{
public:
    // The ending task.
    void Signal()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_done = true;
        }
        m_changed.notify_all();
    }

    // The owner: true when the task signalled within the time.
    bool WaitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, timeout, [this] { return m_done; });
    }

    // The owner, before a task starts.
    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_done = false;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_done = false;
};

} // namespace TW
