// The event queue between two real threads: every item arrives once, in order, intact.
#include "core/MessageQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(MessageQueueThreads, MillionsOfItemsArriveInOrderAndIntact)
{
    // Under ThreadSanitizer each access is far slower; keep the run short there.
#if defined(__SANITIZE_THREAD__)
    constexpr std::uint32_t kItems = 300000;
#else
    constexpr std::uint32_t kItems = 3000000;
#endif
    TW::MessageQueue queue;
    std::atomic<bool> failed{false};
    // How far the reader has got. Read relaxed, so it adds no ordering of its own: the queue's
    // indices alone must carry the items across. It only keeps the writer from overflowing.
    std::atomic<std::uint32_t> consumed{0};

    std::thread writer([&] {
        for (std::uint32_t i = 0; i < kItems;)
        {
            if (i - consumed.load(std::memory_order_relaxed) >= 63)
            {
                std::this_thread::yield();
                continue;
            }
            const auto a = static_cast<std::uint8_t>(i & 0x7F);
            const auto b = static_cast<std::uint8_t>((i >> 7) & 0x7F);
            if (!queue.Write(0x90 | ((i >> 14) & 0x70), (i >> 3) & 0x0F, a, b, i))
            {
                failed = true;
                return;
            }
            ++i;
        }
    });

    std::uint32_t expected = 0;
    while (expected < kItems && !failed)
    {
        const TW::MessageQueueItem* item = queue.Read();
        if (!item)
        {
            std::this_thread::yield();
            continue;
        }
        const bool ok = item->m_kind == TW::MessageQueueItem::kShortMessage &&
                        item->m_frame == expected && item->m_data1 == (expected & 0x7F) &&
                        item->m_data2 == ((expected >> 7) & 0x7F) &&
                        item->m_channel == ((expected >> 3) & 0x0F) &&
                        item->m_status == (0x90 | ((expected >> 14) & 0x70));
        if (!ok)
            failed = true;
        ++expected;
        consumed.store(expected, std::memory_order_relaxed);
    }
    writer.join();
    EXPECT_FALSE(failed) << "item " << expected - 1 << " arrived damaged or out of order";
    EXPECT_EQ(expected, kItems);
    EXPECT_EQ(queue.Read(), nullptr);
}
