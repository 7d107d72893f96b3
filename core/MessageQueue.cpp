#include "MessageQueue.h"

#include "platform/LogRing.h"

#include <cstring>

namespace TW
{

MessageQueue::MessageQueue()
{
    for (auto& item : m_items)
        item = Factory();
}

MessageQueue::~MessageQueue() = default;

std::unique_ptr<MessageQueueItem> MessageQueue::Factory()
{
    return std::make_unique<MessageQueueItem>();
}

bool MessageQueue::Write(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                         std::uint8_t data2, std::uint32_t frame) noexcept
{
    const std::int32_t write = m_writeIndex.load(std::memory_order_relaxed);
    if (write == m_readIndex.load(std::memory_order_acquire))
    {
        LogRing::Get().Write("MessageQueue::Write() overflow\n");
        return false;
    }
    MessageQueueItem& item = *m_items[write];
    item.m_kind = MessageQueueItem::kShortMessage;
    item.m_status = status;
    item.m_channel = channel;
    item.m_data1 = data1;
    item.m_data2 = data2;
    item.m_frame = frame;
    m_writeIndex.store(Next(write), std::memory_order_release);
    return true;
}

bool MessageQueue::WriteSysEx(const std::uint8_t* bytes, std::uint32_t length) noexcept
{
    if (length > Tarn::kMaxSysExBytes)
    {
        const std::uint32_t count = m_tooLongSysEx.fetch_add(1, std::memory_order_relaxed) + 1;
        LogRing::Get().Format("MessageQueue::WriteSysEx(): a system-exclusive message of %u bytes "
                              "is longer than the %u-byte limit and was dropped (%u so far)",
                              length, Tarn::kMaxSysExBytes, count);
        return false;
    }
    const std::int32_t write = m_writeIndex.load(std::memory_order_relaxed);
    if (write == m_readIndex.load(std::memory_order_acquire))
    {
        LogRing::Get().Write("MessageQueue::WriteSysEx() overflow\n");
        return false;
    }
    MessageQueueItem& item = *m_items[write];
    item.m_kind = MessageQueueItem::kSysEx;
    item.m_sysexLength = length;
    if (length)
        std::memcpy(item.m_sysex.data(), bytes, length);
    item.m_frame = 0;
    m_writeIndex.store(Next(write), std::memory_order_release);
    return true;
}

const MessageQueueItem* MessageQueue::Read() noexcept
{
    const std::int32_t next = Next(m_readIndex.load(std::memory_order_relaxed));
    if (next == m_writeIndex.load(std::memory_order_acquire))
        return nullptr;
    // Publishing the new read index frees the previous slot for the writer; this slot stays ours
    // until the next Read.
    m_readIndex.store(next, std::memory_order_release);
    return m_items[next].get();
}

} // namespace TW
