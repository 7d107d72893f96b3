// The OSC server's change queue: parameter changes waiting for the notify task. A ring of 64
// slots of which 63 can wait at once, with the same index rules as the event queue. Writers
// (any thread that sets a parameter) are kept apart by a small lock; the one reader (the notify
// task) takes no lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace TW
{

class SetParamQueue
{
public:
    static constexpr std::int32_t kSlots = 64;

    // Any thread. False, with a line on standard error, when full: the change is not pushed.
    bool Write(int id, float value) noexcept;
    // The notify task only. False when empty.
    bool Read(int& id, float& value) noexcept;

private:
    struct Change
    {
        int id = 0;
        float value = 0.0f;
    };
    static std::int32_t Next(std::int32_t slot) noexcept
    {
        return slot == kSlots - 1 ? 0 : slot + 1;
    }

    std::array<Change, kSlots> m_changes{};
    std::mutex m_writeLock;                                        // writers only
    alignas(64) std::atomic<std::int32_t> m_readIndex{kSlots - 1}; // slot last handed out
    alignas(64) std::atomic<std::int32_t> m_writeIndex{0};         // slot the next write fills
};

} // namespace TW
