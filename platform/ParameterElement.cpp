#include "ParameterElement.h"

namespace TW
{

ParameterElement::ParameterElement() noexcept
{
    for (std::uint32_t i = 0; i < kCapacity; ++i)
    {
        m_values[i].store(0.0f, std::memory_order_relaxed);
        m_present[i].store(false, std::memory_order_relaxed);
    }
}

Status ParameterElement::SetValue(std::uint32_t id, float value, bool allowCreate) noexcept
{
    if (id >= kCapacity)
        return kErrInvalidParameter;
    if (!m_present[id].load(std::memory_order_acquire))
    {
        if (!allowCreate)
            return kNoErr; // the initialized store ignores identifiers that it does not hold
        m_values[id].store(value, std::memory_order_relaxed);
        m_present[id].store(true, std::memory_order_release);
        return kNoErr;
    }
    m_values[id].store(value, std::memory_order_relaxed);
    return kNoErr;
}

Status ParameterElement::GetValue(std::uint32_t id, float& out) const noexcept
{
    if (!Has(id))
        return kErrInvalidParameter;
    out = m_values[id].load(std::memory_order_relaxed);
    return kNoErr;
}

std::vector<std::uint32_t> ParameterElement::GetParameterList() const
{
    std::vector<std::uint32_t> ids;
    for (std::uint32_t i = 0; i < kCapacity; ++i)
        if (Has(i))
            ids.push_back(i);
    return ids;
}

std::uint32_t ParameterElement::GetNumberOfParameters() const noexcept
{
    std::uint32_t n = 0;
    for (std::uint32_t i = 0; i < kCapacity; ++i)
        n += Has(i) ? 1u : 0u;
    return n;
}

} // namespace TW
