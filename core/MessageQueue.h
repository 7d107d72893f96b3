// The single-producer single-consumer ring that carries MIDI from one writer thread to the
// render thread. 64 slots, of which 63 can wait at once. Neither side locks; the reader never
// allocates. An instance keeps one for the host's MIDI and one for notes sent over OSC, so each
// queue has exactly one writer.
#pragma once

#include "InstrumentConstants.h"
#include "MessageQueueItem.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace TW
{

class MessageQueue
{
public:
    static constexpr std::int32_t kSlots = static_cast<std::int32_t>(Tarn::kQueueSlots);

    MessageQueue();
    virtual ~MessageQueue();

    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // Writers (the host's MIDI thread, the OSC receive task). False when full; the overflow line
    // goes to standard error through the log ring. Real-time safe.
    bool Write(std::uint8_t status, std::uint8_t channel, std::uint8_t data1, std::uint8_t data2,
               std::uint32_t frame) noexcept;
    // Writers only. False when full, and for a message longer than Tarn::kMaxSysExBytes, which
    // is counted and reported instead of queued. Real-time safe.
    bool WriteSysEx(const std::uint8_t* bytes, std::uint32_t length) noexcept;

    // System-exclusive messages refused for their length so far. Any thread.
    std::uint32_t GetTooLongSysExCount() const noexcept
    {
        return m_tooLongSysEx.load(std::memory_order_relaxed);
    }

    // Reader (the render thread) only. The item stays valid until the next successful Read.
    const MessageQueueItem* Read() noexcept;

    static std::unique_ptr<MessageQueueItem> Factory();

private:
    static std::int32_t Next(std::int32_t slot) noexcept
    {
        return slot == kSlots - 1 ? 0 : slot + 1;
    }

    std::array<std::unique_ptr<MessageQueueItem>, kSlots> m_items;
    // Each index has one owner that writes it; the other side only reads it.
    alignas(64) std::atomic<std::int32_t> m_readIndex{kSlots - 1}; // slot last handed out
    alignas(64) std::atomic<std::int32_t> m_writeIndex{0};         // slot the next write fills
    std::atomic<std::uint32_t> m_tooLongSysEx{0};
};

} // namespace TW
