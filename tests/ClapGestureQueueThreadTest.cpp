// The CLAP adapter's gesture queue: whatever the editor does and however late the host reads, the
// host sees whole begin/end pairs, in the order they were made.
#include "plugins/clap/ClapGestureQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

namespace
{

using Gesture = TW::ClapGestureQueue::Gesture;

// Every end follows its own begin, no begin opens a gesture already open, and (when `closed`)
// none is left open. Returns the number of whole gestures.
::testing::AssertionResult Paired(const std::vector<Gesture>& seen, bool closed, int* count)
{
    std::map<std::uint32_t, bool> open;
    int pairs = 0;
    for (const Gesture& g : seen)
    {
        if (g.begin == open[g.id])
            return ::testing::AssertionFailure()
                   << (g.begin ? "a second begin on " : "an end without its begin on ") << g.id;
        open[g.id] = g.begin;
        pairs += g.begin ? 0 : 1;
    }
    if (closed)
        for (const auto& [id, isOpen] : open)
            if (isOpen)
                return ::testing::AssertionFailure() << "gesture on " << id << " left open";
    *count = pairs;
    return ::testing::AssertionSuccess();
}

std::vector<Gesture> DrainAll(TW::ClapGestureQueue& queue)
{
    std::vector<Gesture> seen;
    queue.Drain([&](const Gesture& g) { seen.push_back(g); });
    return seen;
}

TEST(ClapGestureQueue, AHostThatStopsReadingStillGetsWholePairs)
{
    TW::ClapGestureQueue queue;
    // Three gestures open at a time, on rotating parameters, many times the ring's size, while
    // nothing is read: the ring fills, later begins are refused, yet every end still fits.
    const std::uint32_t ids[] = {3, 90, 139};
    int refused = 0;
    for (int round = 0; round < 100; ++round)
    {
        for (std::uint32_t id : ids)
            refused += queue.Begin(id + static_cast<std::uint32_t>(round % 7)) ? 0 : 1;
        for (std::uint32_t id : ids)
            queue.End(id + static_cast<std::uint32_t>(round % 7));
    }
    EXPECT_GT(refused, 0);
    int pairs = 0;
    const std::vector<Gesture> seen = DrainAll(queue);
    EXPECT_TRUE(Paired(seen, true, &pairs));
    EXPECT_EQ(pairs, 300 - refused);
    EXPECT_FALSE(queue.HasGestures());

    // Read again, the queue takes every gesture; a begin inside a gesture on the same parameter
    // adds nothing, and out-of-range identifiers and stray ends are ignored.
    EXPECT_TRUE(queue.Begin(3));
    EXPECT_TRUE(queue.Begin(3));
    EXPECT_TRUE(queue.HasGestures());
    queue.End(3);
    queue.End(3);
    queue.End(44);
    EXPECT_FALSE(queue.Begin(Tarn::kNumParams));
    queue.End(Tarn::kNumParams);
    const std::vector<Gesture> after = DrainAll(queue);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_TRUE(after[0].begin && !after[1].begin && after[0].id == 3 && after[1].id == 3);
}

TEST(ClapGestureQueue, GesturesStayPairedWhileTheAudioThreadReads)
{
    TW::ClapGestureQueue queue;
    std::atomic<bool> done{false};
    std::vector<Gesture> seen;
    std::thread reader(
        [&]
        {
            while (!done.load())
            {
                queue.Drain([&](const Gesture& g) { seen.push_back(g); });
                std::this_thread::yield();
            }
            queue.Drain([&](const Gesture& g) { seen.push_back(g); });
        });
    int refused = 0;
    for (int i = 0; i < 20000; ++i)
    {
        const auto a = static_cast<std::uint32_t>(i % 140);
        const auto b = static_cast<std::uint32_t>((i * 7 + 1) % 140);
        refused += queue.Begin(a) ? 0 : 1;
        if (b != a)
            refused += queue.Begin(b) ? 0 : 1;
        queue.End(a);
        if (b != a)
            queue.End(b);
    }
    done = true;
    reader.join();
    int pairs = 0;
    EXPECT_TRUE(Paired(seen, true, &pairs));
    int made = 0;
    for (int i = 0; i < 20000; ++i)
        made += (i % 140) == ((i * 7 + 1) % 140) ? 1 : 2;
    EXPECT_EQ(pairs + refused, made);
}

} // namespace
