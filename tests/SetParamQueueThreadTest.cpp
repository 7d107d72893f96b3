// The OSC server's change queue with several writers at once: every change arrives once, each
// writer's changes in its own order, and a full queue refuses without damage.
#include "osc/SetParamQueue.h"

#include "platform/LogRing.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

TEST(SetParamQueueThreads, ManyWritersOneReader)
{
#if defined(__SANITIZE_THREAD__)
    constexpr int kPerWriter = 20000;
#else
    constexpr int kPerWriter = 300000;
#endif
    constexpr int kWriters = 3;
    constexpr int kInFlight = 16; // per writer: 3 x 16 never fills the 64 slots
    TW::SetParamQueue queue;
    // How far the reader has got with each writer. Read relaxed: only the queue itself may carry
    // the changes across.
    std::array<std::atomic<int>, kWriters> taken{};
    std::atomic<bool> refused{false};

    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back(
            [&, w]
            {
                for (int i = 0; i < kPerWriter;)
                {
                    if (i - taken[w].load(std::memory_order_relaxed) >= kInFlight)
                    {
                        std::this_thread::yield();
                        continue;
                    }
                    if (!queue.Write(w, static_cast<float>(i)))
                    {
                        refused = true;
                        return;
                    }
                    ++i;
                }
            });

    std::array<int, kWriters> next{};
    bool inOrder = true;
    int total = 0;
    while (total < kWriters * kPerWriter && !refused)
    {
        int id = -1;
        float value = -1.0f;
        if (!queue.Read(id, value))
        {
            std::this_thread::yield();
            continue;
        }
        if (id < 0 || id >= kWriters || value != static_cast<float>(next[id]))
        {
            inOrder = false;
            break;
        }
        taken[id].store(++next[id], std::memory_order_relaxed);
        ++total;
    }
    for (auto& t : writers)
        t.join();
    EXPECT_FALSE(refused);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(total, kWriters * kPerWriter);
    int id;
    float value;
    EXPECT_FALSE(queue.Read(id, value));
}

TEST(SetParamQueueThreads, FullQueueRefusesAndKeepsWhatItHolds)
{
    TW::SetParamQueue queue;
    for (int i = 0; i < TW::SetParamQueue::kSlots; ++i)
        ASSERT_TRUE(queue.Write(i, 0.5f * i));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(queue.Write(999, 1.0f));
    TW::LogRing::Get().Flush();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "OSCHelper::SetParamQueue::Write() overflow\n");
    for (int i = 0; i < TW::SetParamQueue::kSlots; ++i)
    {
        int id = -1;
        float value = -1.0f;
        ASSERT_TRUE(queue.Read(id, value));
        EXPECT_EQ(id, i);
        EXPECT_EQ(value, 0.5f * i);
    }
    int id;
    float value;
    EXPECT_FALSE(queue.Read(id, value));
    EXPECT_TRUE(queue.Write(7, 7.0f)); // and it goes on after the wrap
    ASSERT_TRUE(queue.Read(id, value));
    EXPECT_EQ(id, 7);
}
