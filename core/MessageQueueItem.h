// One event waiting in the event queue: a short MIDI message or a system-exclusive block.
#pragma once

#include <cstdint>
#include <vector>

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
    std::vector<std::uint8_t> m_sysex; // kind 2; storage kept when the slot is reused
    std::uint32_t m_frame = 0;         // frame offset within the render block; 0 for kind 2
};

} // namespace TW
