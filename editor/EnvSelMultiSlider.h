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

    void Render() const override;
    void MouseEntered(int index) override;
    using RippleMultiSlider::MouseEntered;
};

} // namespace TW
