// Short MIDI messages that wait, in arrival order, for the script lock: while a script runs on
// another thread, the render thread moves the events it cannot dispatch here instead of waiting.
// A fixed ring inside the instance; the render thread alone uses it.
#pragma once

#include "MessageQueueItem.h"

#include <array>
#include <cstdint>

class TarnWaitingEvents
{
public:
    static constexpr std::uint32_t kCapacity = 256;

    struct Event
    {
        std::uint8_t status, channel, data1, data2;
    };

    bool Empty() const noexcept { return m_count == 0; }
    bool Full() const noexcept { return m_count == kCapacity; }
    std::uint32_t Size() const noexcept { return m_count; }

    // False when full.
    bool Push(const TW::MessageQueueItem& item) noexcept
    {
        if (Full())
            return false;
        m_events[(m_first + m_count) % kCapacity] = {item.m_status, item.m_channel, item.m_data1,
                                                     item.m_data2};
        ++m_count;
        return true;
    }

    // Takes the oldest event into item as a short message at frame 0. False when empty.
    bool Pop(TW::MessageQueueItem& item) noexcept
    {
        if (Empty())
            return false;
        const Event& e = m_events[m_first];
        item.m_kind = TW::MessageQueueItem::kShortMessage;
        item.m_status = e.status;
        item.m_channel = e.channel;
        item.m_data1 = e.data1;
        item.m_data2 = e.data2;
        item.m_frame = 0;
        m_first = (m_first + 1) % kCapacity;
        --m_count;
        return true;
    }

private:
    std::array<Event, kCapacity> m_events{};
    std::uint32_t m_first = 0;
    std::uint32_t m_count = 0;
};
