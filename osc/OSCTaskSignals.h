// What the OSC server's two tasks wait on: an event carrying flag bits (quit, wake up) and a
// done signal that a task gives as it ends, which its owner waits for with a time-out.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <cerrno>
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

    OSCTaskEvent() noexcept { sem_init(&m_posted, 0, 0); }
    ~OSCTaskEvent() { sem_destroy(&m_posted); }
    OSCTaskEvent(const OSCTaskEvent&) = delete;
    OSCTaskEvent& operator=(const OSCTaskEvent&) = delete;

    // Any thread, the render thread included: adds flag bits and wakes the waiting task. Takes
    // no lock (an atomic or and a semaphore post).
    void Set(unsigned flags) noexcept
    {
        m_flags.fetch_or(flags, std::memory_order_release);
        sem_post(&m_posted);
    }

    // The task's own thread: waits without limit until a flag is set, then takes (and clears)
    // all flags. A post whose flags an earlier call already took only costs one more turn.
    unsigned Wait() noexcept
    {
        for (;;)
        {
            const unsigned flags = m_flags.exchange(0, std::memory_order_acquire);
            if (flags != 0)
                return flags;
            while (sem_wait(&m_posted) != 0 && errno == EINTR)
            {
            }
        }
    }

    // Before a task starts: clears all flags and pending posts.
    void Clear() noexcept
    {
        m_flags.store(0, std::memory_order_relaxed);
        while (sem_trywait(&m_posted) == 0)
        {
        }
    }

private:
    std::atomic<unsigned> m_flags{0};
    sem_t m_posted;
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
