// One event waiting in the event queue: a short MIDI message or a system-exclusive block.
#pragma once

#include "InstrumentConstants.h"

#include <array>
#include <cstdint>

namespace TW
{

class MessageQueueItem
{
public:
    enum Kind : std::uint32_t
    {
        kNeverWritten = 0,
        kShortMessage = 1,
        kSysEx = 2,
    };

    MessageQueueItem() = default;
    virtual ~MessageQueueItem() = default;

    // Copy hook for derived item types; this item type copies nothing.
    virtual void CopyFrom(const MessageQueueItem&) {}

    std::uint32_t m_kind = kNeverWritten;
    std::uint8_t m_status = 0;  // status byte with the channel nibble cleared (kind 1)
    std::uint8_t m_channel = 0; // 0..15 (kind 1)
    std::uint8_t m_data1 = 0;
    std::uint8_t m_data2 = 0;
    std::uint32_t m_frame = 0; // frame offset within the render block; 0 for kind 2
    // Kind 2: the message's bytes, in storage fixed inside the item (nothing is allocated when
    // MIDI arrives); longer messages are refused by the queue.
    std::uint32_t m_sysexLength = 0;
    std::array<std::uint8_t, Tarn::kMaxSysExBytes> m_sysex{};
};

} // namespace TW
