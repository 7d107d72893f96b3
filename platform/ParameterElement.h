// The parameter store of one element of one scope: identifier -> float.
#pragma once

#include "HostStatus.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace TW
{

// Fixed-size storage, so reading from the render thread never allocates or locks. Values are
// relaxed atomics: a change made on another thread is seen at the next read, never torn.
class ParameterElement
{
public:
    static constexpr std::uint32_t kCapacity = 256; // identifiers 0..255

    ParameterElement() noexcept;

    // Writes a value without clamping. An identifier that the store does not hold is created
    // when allowCreate is true (before Initialize) and ignored otherwise. Any thread.
    // Identifiers beyond the capacity fail with kErrInvalidParameter.
    Status SetValue(std::uint32_t id, float value, bool allowCreate) noexcept;

    // kErrInvalidParameter for an identifier that the store does not hold. Any thread.
    Status GetValue(std::uint32_t id, float& out) const noexcept;

    // The value of a held identifier, 0 for one not held. Any thread, real-time safe.
    float Value(std::uint32_t id) const noexcept
    {
        return id < kCapacity ? m_values[id].load(std::memory_order_relaxed) : 0.0f;
    }

    bool Has(std::uint32_t id) const noexcept
    {
        return id < kCapacity && m_present[id].load(std::memory_order_acquire);
    }

    // Held identifiers in ascending order. Main thread.
    std::vector<std::uint32_t> GetParameterList() const;
    std::uint32_t GetNumberOfParameters() const noexcept;

private:
    std::array<std::atomic<float>, kCapacity> m_values;
    std::array<std::atomic<bool>, kCapacity> m_present;
};

} // namespace TW
