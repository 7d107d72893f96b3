#include "SetParamQueue.h"

#include "platform/LogRing.h"

namespace TW
{

SetParamQueue::SetParamQueue() noexcept
{
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(kSlots); ++i)
        m_slots[i].sequence.store(i, std::memory_order_relaxed);
}

bool SetParamQueue::Write(int id, float value) noexcept
{
    std::uint32_t pos = m_writePos.load(std::memory_order_relaxed);
    for (;;)
    {
        Slot& slot = m_slots[pos % kSlots];
        const std::uint32_t sequence = slot.sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::int32_t>(sequence - pos);
        if (lag == 0)
        {
            // Free for this turn: claim the position, or retry with the one another writer left.
            if (m_writePos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
            {
                slot.id = id;
                slot.value = value;
                slot.sequence.store(pos + 1, std::memory_order_release);
                return true;
            }
        }
        else if (lag < 0)
        {
            // The reader has not yet taken what was written here a whole ring ago: full.
            LogRing::Get().Write("OSCHelper::SetParamQueue::Write() overflow\n");
            return false;
        }
        else
            pos = m_writePos.load(std::memory_order_relaxed);
    }
}

bool SetParamQueue::Read(int& id, float& value) noexcept
{
    Slot& slot = m_slots[m_readPos % kSlots];
    if (slot.sequence.load(std::memory_order_acquire) != m_readPos + 1)
        return false;
    id = slot.id;
    value = slot.value;
    // Free the slot for the writer one ring later.
    slot.sequence.store(m_readPos + kSlots, std::memory_order_release);
    ++m_readPos;
    return true;
}

} // namespace TW
