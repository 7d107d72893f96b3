#include "SetParamQueue.h"

#include <cstdio>

namespace TW
{

bool SetParamQueue::Write(int id, float value) noexcept
{
    std::lock_guard<std::mutex> lock(m_writeLock);
    const std::int32_t write = m_writeIndex.load(std::memory_order_relaxed);
    if (write == m_readIndex.load(std::memory_order_acquire))
    {
        std::fputs("OSCHelper::SetParamQueue::Write() overflow\n", stderr);
        return false;
    }
    m_changes[static_cast<std::size_t>(write)] = {id, value};
    m_writeIndex.store(Next(write), std::memory_order_release);
    return true;
}

bool SetParamQueue::Read(int& id, float& value) noexcept
{
    const std::int32_t next = Next(m_readIndex.load(std::memory_order_relaxed));
    if (next == m_writeIndex.load(std::memory_order_acquire))
        return false;
    // Copy out before publishing the read index: that frees the slot for writers.
    id = m_changes[static_cast<std::size_t>(next)].id;
    value = m_changes[static_cast<std::size_t>(next)].value;
    m_readIndex.store(next, std::memory_order_release);
    return true;
}

} // namespace TW
