// The OSC server's change queue: parameter changes waiting for the notify task. A bounded ring of
// 64 slots for any number of writers (any thread that sets a parameter, the render thread
// included) and one reader (the notify task). Neither side locks: each slot carries a sequence
// number that says whether it is free for the writer of a given turn or full for the reader.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace TW
{

class SetParamQueue
{
public:
    static constexpr std::int32_t kSlots = 64;

    SetParamQueue() noexcept;

    // Any thread. False when full: the change is not pushed, and the overflow line goes to
    // standard error through the log ring.
    bool Write(int id, float value) noexcept;
    // The notify task only. False when empty.
    bool Read(int& id, float& value) noexcept;

private:
    struct Slot
    {
        // Equal to the position p (p mod 64 is this slot) when free for the writer of p, p + 1
        // when that writer has filled it for the reader.
        std::atomic<std::uint32_t> sequence{0};
        int id = 0;
        float value = 0.0f;
    };

    std::array<Slot, kSlots> m_slots;
    alignas(64) std::atomic<std::uint32_t> m_writePos{0}; // next position a writer claims
    alignas(64) std::uint32_t m_readPos = 0;              // reader only
};

} // namespace TW
