// The main-loop stand-in: timers in due order, one-shot timers once, periodic timers until
// removed, and removal that waits for a call in progress.
#include "platform/MainLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace
{

// Records the calls of timers: which user data, on which thread.
struct Recorder
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> calls;
    bool onLoopThread = true;

    static void Proc(TW::TimerHandle, void* userData)
    {
        auto* tag = static_cast<std::pair<Recorder*, int>*>(userData);
        Recorder& r = *tag->first;
        std::lock_guard<std::mutex> lock(r.mutex);
        r.calls.push_back(tag->second);
        r.onLoopThread = r.onLoopThread && TW::MainLoop::Get().IsLoopThread();
        r.changed.notify_all();
    }

    // Waits (up to 5 s) until at least n calls were made; returns the calls so far.
    std::vector<int> WaitFor(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, 5s, [&] { return calls.size() >= n; });
        return calls;
    }
};

TEST(MainLoopThreadTest, TimersRunInDueOrderOnTheLoopThread)
{
    Recorder r;
    std::pair<Recorder*, int> a{&r, 3}, b{&r, 1}, c{&r, 2};
    TW::MainLoop& loop = TW::MainLoop::Get();
    loop.InstallTimer(0.06, 0, Recorder::Proc, &a);
    loop.InstallTimer(0.02, 0, Recorder::Proc, &b);
    loop.InstallTimer(0.04, -1, Recorder::Proc, &c);
    EXPECT_EQ(r.WaitFor(3), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(r.onLoopThread);
    EXPECT_FALSE(loop.IsLoopThread());
}

TEST(MainLoopThreadTest, OneShotTimerRunsOnceAndIsGone)
{
    Recorder r;
    std::pair<Recorder*, int> tag{&r, 7};
    TW::MainLoop& loop = TW::MainLoop::Get();
    const std::size_t before = loop.GetTimerCount();
    const TW::TimerHandle timer = loop.InstallTimer(0.0, 0.0, Recorder::Proc, &tag);
    EXPECT_EQ(r.WaitFor(1).size(), 1u);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(r.WaitFor(1).size(), 1u);
    EXPECT_EQ(loop.GetTimerCount(), before);
    EXPECT_FALSE(loop.RemoveTimer(timer));
}

TEST(MainLoopThreadTest, PeriodicTimerRepeatsUntilRemoved)
{
    Recorder r;
    std::pair<Recorder*, int> tag{&r, 1};
    TW::MainLoop& loop = TW::MainLoop::Get();
    const TW::TimerHandle timer = loop.InstallTimer(0.005, 0.005, Recorder::Proc, &tag);
    EXPECT_GE(r.WaitFor(4).size(), 4u);
    EXPECT_TRUE(loop.RemoveTimer(timer));
    const std::size_t calls = r.WaitFor(0).size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(r.WaitFor(0).size(), calls);
    EXPECT_FALSE(loop.RemoveTimer(timer));
}

TEST(MainLoopThreadTest, RemoveTimersWaitsForTheCallInProgress)
{
    struct Slow
    {
        std::atomic<bool> started{false};
        std::atomic<bool> finished{false};
        static void Proc(TW::TimerHandle, void* userData)
        {
            auto* self = static_cast<Slow*>(userData);
            self->started = true;
            std::this_thread::sleep_for(100ms);
            self->finished = true;
        }
    } slow;
    TW::MainLoop& loop = TW::MainLoop::Get();
    loop.InstallTimer(0.0, 0.0, Slow::Proc, &slow);   // in progress when removed
    loop.InstallTimer(0.0, 0.001, Slow::Proc, &slow); // periodic, removed
    const TW::TimerHandle other = loop.InstallTimer(10, 0, Slow::Proc, nullptr);
    while (!slow.started)
        std::this_thread::sleep_for(1ms);
    loop.RemoveTimers(&slow);
    EXPECT_TRUE(slow.finished);
    slow.finished = false;
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(slow.finished);
    EXPECT_TRUE(loop.RemoveTimer(other)); // other user data is left alone
}

} // namespace
