// A control of a run of consecutive parameters.
#pragma once

#include "ControlBase.h"

#include <atomic>
#include <memory>
#include <vector>

namespace TW
{

class MultiControl : public ControlBase
{
public:
    MultiControl(Manager* manager, int firstParamIndex, int count, const Bounds& bounds);

    int GetCount() const noexcept { return m_count; }
    const ParameterDescription& GetParam(int i) const noexcept { return m_params[i]; }
    // Any thread.
    float GetNormalisedValue(int i) const noexcept
    {
        return m_values[i].load(std::memory_order_relaxed);
    }

protected:
    void SetNormalisedValue(int i, float n) noexcept
    {
        m_values[i].store(n, std::memory_order_relaxed);
    }

    int m_count;
    std::vector<ParameterDescription> m_params;
    std::unique_ptr<std::atomic<float>[]> m_values;
};

} // namespace TW
