// An element with bounds that shows or edits parameters.
#pragma once

#include "ParameterDescription.h"
#include "UIElement.h"

namespace TW
{

class ControlBase : public UIElement
{
public:
    ControlBase(Manager* manager, const Bounds& bounds);

    void ExtendBounds(Bounds& b) const override { b.Expand(m_bounds); }
    UIElement* HitTest(const Point& p) override;

    const Bounds& GetBounds() const noexcept { return m_bounds; }
    bool IsIntegerValued() const noexcept { return m_integerValued; }

protected:
    // Writes the value at n through the notifying parameter call; integer-valued controls snap n
    // to the value written. Main thread.
    void SetParamFromNormalised(const ParameterDescription& param, float& n);
    // The parameter's current value, normalised. Any thread.
    float NormalisedFromParam(const ParameterDescription& param) const;
    // Snaps n to the integer grid of param's range.
    static void GetNormalisedAsIntegerValued(const ParameterDescription& param, float& n);

    Bounds m_bounds;
    bool m_integerValued = false;
};

} // namespace TW
