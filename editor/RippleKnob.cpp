#include "RippleKnob.h"

#include "RippleKnobRenderer.h"
#include "Ripples.h"
#include "Vortex.h"

#include "platform/ParameterInfo.h"

namespace TW
{

Vec4 RippleKnob::ColourForUnit(unsigned unit) noexcept
{
    switch (unit)
    {
    case kUnitHertz:
        return {0.2f, 0.2f, 0.9f, 1.0f};
    case kUnitRelativeSemiTones:
        return {0.0f, 0.5f, 1.0f, 1.0f};
    case kUnitLinearGain:
        return {1.0f, 0.2f, 0.2f, 1.0f};
    case kUnitSeconds:
    case kUnitMilliseconds:
        return {0.8f, 0.1f, 0.9f, 1.0f};
    default:
        return {0.0f, 1.0f, 0.0f, 1.0f};
    }
}

RippleKnob::RippleKnob(Manager* manager, int paramIndex, Ripples* ripples, Vortex* vortex,
                       RippleKnobRenderer* renderer, float x, float y, float size)
    : Knob(manager, paramIndex, x, y, size), m_ripples(ripples), m_vortex(vortex),
      m_renderer(renderer), m_index(renderer ? renderer->Add() : -1),
      m_colour(ColourForUnit(m_param.unit))
{
    // Transpositions snap to whole semitones.
    if (m_param.unit == kUnitRelativeSemiTones)
        m_integerValued = true;
    if (m_renderer)
        m_renderer->SetColour(m_index, m_colour);
}

void RippleKnob::FinalPosition()
{
    Knob::FinalPosition();
    if (!m_renderer)
        return;
    Bounds b;
    GetWorldBounds(b);
    m_renderer->SetGeometry(m_index, b.CentreX(), b.CentreY(), 0.5f * b.Width());
}

void RippleKnob::Update()
{
    Knob::Update();
    if (m_renderer)
        m_renderer->SetAngle(m_index, RendererAngle(GetNormalisedValue()));
}

void RippleKnob::TriggerRipple(float alpha)
{
    if (!m_ripples)
        return;
    Bounds b;
    GetWorldBounds(b);
    m_ripples->Trigger(b.CentreX(), b.CentreY(), Vec4{m_colour.r, m_colour.g, m_colour.b, alpha},
                       0.5f * b.Width(), 2.0f, 30.0f);
}

void RippleKnob::MouseDown(const Point& p, unsigned modifiers, int clickCount)
{
    TriggerRipple(m_colour.a);
    if (m_vortex)
    {
        Bounds b;
        GetWorldBounds(b);
        m_vortex->Launch(b.CentreX(), b.CentreY());
    }
    Knob::MouseDown(p, modifiers, clickCount);
}

void RippleKnob::MouseEntered()
{
    TriggerRipple(0.5f * m_colour.a);
    Knob::MouseEntered();
}

} // namespace TW
