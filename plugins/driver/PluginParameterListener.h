// Collects the parameter changes that the instrument makes to itself (scripts, OSC, presets,
// other instances) so that a plug-in adapter can report them to its host. Lock-free: one dirty
// flag per identifier, set on whatever thread makes the change, taken by the adapter.
#pragma once

#include "core/InstrumentConstants.h"
#include "platform/ParameterListener.h"

#include <array>
#include <atomic>

namespace TW
{

class PluginParameterListener : public ParameterListener
{
public:
    // Any thread, render thread included: sets two flags, never blocks or allocates.
    void ParameterChanged(void* sendingObject, const ParameterAddress& address,
                          float value) override;

    // Whether any change waits. Any thread.
    bool HasChanges() const noexcept { return m_any.load(std::memory_order_acquire); }

    // Calls f(id) once for every identifier changed since the last call, in ascending order,
    // and clears its flag. A change that lands while this runs is kept for the next call.
    // One taker at a time (the adapter's audio or main thread, not both at once).
    template <class F> void TakeChanges(F&& f) noexcept
    {
        if (!m_any.exchange(false, std::memory_order_acq_rel))
            return;
        for (std::uint32_t id = 0; id < m_dirty.size(); ++id)
            if (m_dirty[id].load(std::memory_order_relaxed) &&
                m_dirty[id].exchange(false, std::memory_order_acq_rel))
                f(id);
    }

    // Drops every pending change. Any thread.
    void Clear() noexcept;

    // Changes sent by this object (an editor that reports its own edits to the host) are not
    // collected; null collects every change again. Any thread.
    void IgnoreSender(const void* sendingObject) noexcept
    {
        m_ignoredSender.store(sendingObject, std::memory_order_release);
    }

private:
    std::array<std::atomic<bool>, Tarn::kNumParams> m_dirty{};
    std::atomic<bool> m_any{false};
    std::atomic<const void*> m_ignoredSender{nullptr};
};

} // namespace TW
