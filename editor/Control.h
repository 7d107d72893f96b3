// A control of one parameter. The normalised value is re-read from the instrument every frame;
// edits are written straight to the instrument.
#pragma once

#include "ControlBase.h"

#include <atomic>

namespace TW
{

class Control : public ControlBase
{
public:
    Control(Manager* manager, int paramIndex, const Bounds& bounds);

    void Update() override;
    void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
    void MouseUp(const Point& p, unsigned modifiers) override;
    void MouseEntered() override;
    void MouseExited() override;

    const ParameterDescription& GetParam() const noexcept { return m_param; }
    // Any thread.
    float GetNormalisedValue() const noexcept { return m_value.load(std::memory_order_relaxed); }

protected:
    void SetNormalisedValue(float n) noexcept { m_value.store(n, std::memory_order_relaxed); }

    ParameterDescription m_param;
    std::atomic<float> m_value{0.0f};
    Point m_dragStart;
    float m_dragStartValue = 0.0f;
};

} // namespace TW
