// The panel's knob: drawn by the knob renderer (all knobs in one pass), coloured by the
// parameter's unit, sending a ripple when hovered and a ripple and a vortex cube when pressed.
#pragma once

#include "Knob.h"
#include "Vec.h"

namespace TW
{

class Ripples;
class Vortex;
class RippleKnobRenderer;

class RippleKnob : public Knob
{
public:
    // ripples and vortex may be null (no eye candy for this knob); the renderer must not be.
    // Main thread.
    RippleKnob(Manager* manager, int paramIndex, Ripples* ripples, Vortex* vortex,
               RippleKnobRenderer* renderer, float x, float y, float size);

    // Main thread, when the layout is done: the renderer's entry takes the world centre and
    // half the width as its radius.
    void FinalPosition() override;
    // Drawing thread: the value, and the renderer's pointer angle from it.
    void Update() override;
    // Drawn by the renderer.
    void Render() const override {}
    // Main thread.
    void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
    void MouseEntered() override;

    const Vec4& GetColour() const noexcept { return m_colour; }
    int GetRendererIndex() const noexcept { return m_index; }
    // The renderer angle for normalised value n: -135 degrees to +135 degrees from straight up.
    static float RendererAngle(float n) noexcept { return (2.0f * n - 1.0f) * 2.356194490192345f; }
    // A knob's colour for a parameter unit.
    static Vec4 ColourForUnit(unsigned unit) noexcept;

private:
    void TriggerRipple(float alpha);

    Ripples* m_ripples;
    Vortex* m_vortex;
    RippleKnobRenderer* m_renderer;
    int m_index;
    Vec4 m_colour;
};

} // namespace TW
