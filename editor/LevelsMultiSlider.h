// The partial levels: bars from the middle (level 0) up or down, bevelled under the 2D lights.
#pragma once

#include "RippleMultiSlider.h"

namespace TW
{

class LevelsMultiSlider : public RippleMultiSlider
{
public:
    LevelsMultiSlider(Manager* manager, Ripples* ripples, Vortex* vortex, int firstParamIndex,
                      int count, float x, float y, float width, float height);

    void MouseEntered(int index) override;
    using RippleMultiSlider::MouseEntered;

    // The bar colour of normalised value v.
    static void BarColour(float v, float (&rgba)[4]) noexcept;

protected:
    void LitBar(int index, float (&rgba)[4], float& y0, float& y1) const override;
};

} // namespace TW
