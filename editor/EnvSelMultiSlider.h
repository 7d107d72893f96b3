// The envelope selectors: a box per partial at the height of its choice.
#pragma once

#include "RippleMultiSlider.h"

namespace TW
{

class EnvSelMultiSlider : public RippleMultiSlider
{
public:
    EnvSelMultiSlider(Manager* manager, Ripples* ripples, Vortex* vortex, int firstParamIndex,
                      int count, float x, float y, float width, float height);

    void MouseEntered(int index) override;
    using RippleMultiSlider::MouseEntered;

protected:
    void LitBar(int index, float (&rgba)[4], float& y0, float& y1) const override;
};

} // namespace TW
