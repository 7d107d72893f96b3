// The event queue's ring: capacity, wrap-around, overflow and sysex storage reuse.
#include "core/MessageQueue.h"
#include "platform/LogRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using TW::MessageQueue;
using TW::MessageQueueItem;

TEST(MessageQueue, EmptyFreshQueueAndItemDefaults)
{
    MessageQueue queue;
    EXPECT_EQ(queue.Read(), nullptr);
    auto item = MessageQueue::Factory();
    EXPECT_EQ(item->m_kind, 0u);
    EXPECT_EQ(item->m_status | item->m_channel | item->m_data1 | item->m_data2, 0);
    EXPECT_EQ(item->m_sysexLength, 0u);
    EXPECT_EQ(item->m_frame, 0u);
}

TEST(MessageQueue, HoldsSixtyThreeAndReportsOverflow)
{
    MessageQueue queue;
    for (int i = 0; i < 63; ++i)
        ASSERT_TRUE(queue.Write(0x90, 0, static_cast<std::uint8_t>(i), 100, i)) << i;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(queue.Write(0x90, 0, 99, 100, 0));
    EXPECT_FALSE(queue.WriteSysEx(reinterpret_cast<const std::uint8_t*>("\xF0\xF7"), 2));
    TW::LogRing::Get().Flush();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "MessageQueue::Write() overflow\nMessageQueue::WriteSysEx() overflow\n");

    // After one read, exactly one more write fits; the lost write changed nothing.
    const MessageQueueItem* first = queue.Read();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->m_data1, 0);
    EXPECT_TRUE(queue.Write(0x80, 1, 77, 0, 5));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(queue.Write(0x80, 1, 78, 0, 5));
    TW::LogRing::Get().Flush();
    testing::internal::GetCapturedStderr();
    for (int i = 1; i < 63; ++i)
    {
        const MessageQueueItem* item = queue.Read();
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->m_data1, i);
        EXPECT_EQ(item->m_frame, static_cast<std::uint32_t>(i));
    }
    const MessageQueueItem* last = queue.Read();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->m_data1, 77);
    EXPECT_EQ(queue.Read(), nullptr);
}

TEST(MessageQueue, KeepsWorkingAcrossTheWrap)
{
    MessageQueue queue;
    for (int i = 0; i < 1000; ++i)
    {
        ASSERT_TRUE(queue.Write(0xB0, i % 16, 7, static_cast<std::uint8_t>(i & 0x7F), 37));
        const MessageQueueItem* item = queue.Read();
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->m_kind, MessageQueueItem::kShortMessage);
        EXPECT_EQ(item->m_status, 0xB0);
        EXPECT_EQ(item->m_channel, i % 16);
        EXPECT_EQ(item->m_data2, i & 0x7F);
        EXPECT_EQ(item->m_frame, 37u);
        EXPECT_EQ(queue.Read(), nullptr);
    }
}

TEST(MessageQueue, SysExUpToTheLimitIsQueuedLongerIsCountedAndRefused)
{
    MessageQueue queue;
    std::vector<std::uint8_t> big(Tarn::kMaxSysExBytes + 1);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7);
    // A slot that held the longest message, reused for a short one, holds only the short one.
    for (int round = 0; round < 64; ++round)
    {
        ASSERT_TRUE(queue.WriteSysEx(big.data(), Tarn::kMaxSysExBytes));
        const MessageQueueItem* item = queue.Read();
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->m_kind, MessageQueueItem::kSysEx);
        ASSERT_EQ(item->m_sysexLength, Tarn::kMaxSysExBytes);
        EXPECT_TRUE(
            std::equal(big.begin(), big.begin() + Tarn::kMaxSysExBytes, item->m_sysex.begin()));
        EXPECT_EQ(item->m_frame, 0u);
    }
    const std::uint8_t small[3] = {0xF0, 0x01, 0xF7};
    ASSERT_TRUE(queue.WriteSysEx(small, 3));
    const MessageQueueItem* item = queue.Read();
    ASSERT_NE(item, nullptr);
    ASSERT_EQ(item->m_sysexLength, 3u);
    EXPECT_EQ(item->m_sysex[1], 0x01);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(queue.WriteSysEx(big.data(), Tarn::kMaxSysExBytes + 1));
    EXPECT_FALSE(queue.WriteSysEx(big.data(), 0xFFFFFFFFu)); // never read past the limit
    TW::LogRing::Get().Flush();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(queue.GetTooLongSysExCount(), 2u);
    EXPECT_NE(err.find("of 513 bytes is longer than the 512-byte limit and was dropped (1 so far)"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("(2 so far)"), std::string::npos) << err;
    EXPECT_EQ(queue.Read(), nullptr); // nothing was queued, no slot taken
    for (int i = 0; i < 63; ++i)
        ASSERT_TRUE(queue.Write(0x90, 0, 1, 1, 0));
}
