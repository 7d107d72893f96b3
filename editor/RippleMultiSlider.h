// A slider bank that sends a ripple on hover and a vortex cube on click, its bars bevelled under
// the 2D lights.
#pragma once

#include "MultiSlider.h"

namespace TW
{

class Ripples;
class Vortex;

class RippleMultiSlider : public MultiSlider
{
public:
    // ripples and vortex may be null (no eye candy for this bank).
    RippleMultiSlider(Manager* manager, Ripples* ripples, Vortex* vortex, int firstParamIndex,
                      int count, float x, float y, float width, float height);

    void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
    // Draws every bar that LitBar describes, shaded like the knobs when the knob renderer left
    // its vertex program bound. Drawing thread.
    void Render() const override;

protected:
    // Bar index's colour and its lower and upper edge, in design pixels. Drawing thread.
    virtual void LitBar(int index, float (&rgba)[4], float& y0, float& y1) const = 0;

    // Main thread.
    void TriggerRipple(float x, float y, float r, float g, float b, float a, float size);

    Ripples* m_ripples;
    Vortex* m_vortex;
};

} // namespace TW
