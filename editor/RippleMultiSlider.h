// A slider bank that sends a ripple on hover and a vortex cube on click.
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

protected:
    // Main thread.
    void TriggerRipple(float x, float y, float r, float g, float b, float a, float size);

    Ripples* m_ripples;
    Vortex* m_vortex;
};

} // namespace TW
