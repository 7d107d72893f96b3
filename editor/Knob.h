// A rotary control: 200 design pixels of vertical drag cover the whole range (2000 with shift).
#pragma once

#include "Control.h"

namespace TW
{

class Knob : public Control
{
public:
    static constexpr float kCoarseStep = 0.005f; // normalised units per design pixel
    static constexpr float kFineStep = 0.0005f;

    Knob(Manager* manager, int paramIndex, float x, float y, float size);

    void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
    void MouseDrag(const Point& p, unsigned modifiers) override;
    void Render() const override;

    // The pointer's angle in radians for normalised value n, clockwise from straight up.
    static float PointerAngle(float n) noexcept { return n * 4.712385f - 2.3561926f; }
};

} // namespace TW
