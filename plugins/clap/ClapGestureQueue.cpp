#include "ClapGestureQueue.h"

namespace TW
{

static_assert((ClapGestureQueue::kCapacity & (ClapGestureQueue::kCapacity - 1)) == 0,
              "the counters wrap around a whole number of rings");

bool ClapGestureQueue::Begin(std::uint32_t id) noexcept
{
    if (id >= m_state.size())
        return false;
    if (m_state[id] == State::Queued)
        return true;
    if (m_state[id] == State::Dropped)
        return false;
    const std::uint32_t fill =
        m_write.load(std::memory_order_relaxed) - m_read.load(std::memory_order_acquire);
    // Room for this begin, its end, and the end of every gesture open now.
    if (kCapacity - fill < m_open + 2)
    {
        m_state[id] = State::Dropped;
        return false;
    }
    Push(id, true);
    m_state[id] = State::Queued;
    ++m_open;
    return true;
}

void ClapGestureQueue::End(std::uint32_t id) noexcept
{
    if (id >= m_state.size())
        return;
    const State state = m_state[id];
    m_state[id] = State::Closed;
    if (state != State::Queued)
        return;
    --m_open;
    Push(id, false);
}

void ClapGestureQueue::Push(std::uint32_t id, bool begin) noexcept
{
    const std::uint32_t write = m_write.load(std::memory_order_relaxed);
    m_ring[write % kCapacity] = {id, begin};
    m_write.store(write + 1, std::memory_order_release);
}

} // namespace TW
