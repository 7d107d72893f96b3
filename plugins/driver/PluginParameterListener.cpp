#include "PluginParameterListener.h"

namespace TW
{

void PluginParameterListener::ParameterChanged(void* sendingObject, const ParameterAddress& address,
                                               float)
{
    if (address.scope != Scope::Global || address.id >= m_dirty.size())
        return;
    if (sendingObject && sendingObject == m_ignoredSender.load(std::memory_order_acquire))
        return;
    // The flag before the summary: a taker that sees the summary finds the flag.
    m_dirty[address.id].store(true, std::memory_order_release);
    m_any.store(true, std::memory_order_release);
}

void PluginParameterListener::Clear() noexcept
{
    m_any.store(false, std::memory_order_release);
    for (auto& flag : m_dirty)
        flag.store(false, std::memory_order_relaxed);
}

} // namespace TW
