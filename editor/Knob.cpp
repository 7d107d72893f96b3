#include "Knob.h"

#include "LineDrawing.h"
#include "Manager.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace TW
{

Knob::Knob(Manager* manager, int paramIndex, float x, float y, float size)
    : Control(manager, paramIndex, Bounds(x, y, x + size, y + size))
{
}

void Knob::MouseDown(const Point& p, unsigned modifiers, int clickCount)
{
    const bool command = (modifiers & kModifierCommand) != 0;
    const bool doubleClick = clickCount == 2;
    // The edit is opened before a reset or toggle is written, so a host recording touch
    // automation sees the new value inside the gesture.
    if (command || doubleClick ||
        (m_integerValued && m_param.minValue == 0.0f && m_param.maxValue == 1.0f))
    {
        m_manager->SetEditingParam(m_param.index);
        float value;
        if (command && doubleClick)
            value = 0.0f;
        else if (command || doubleClick)
            value = m_param.defaultValue;
        else
            value = 1.0f - m_manager->GetParameterValue(m_param.index);
        m_manager->SetParameterValue(m_param.index, value);
    }
    // Read at every press: the last frame's value may be stale when nothing redraws (a preset
    // change, automation), and the drag must start from what the instrument holds.
    SetNormalisedValue(NormalisedFromParam(m_param));
    m_dragStart = p;
    m_dragStartValue = GetNormalisedValue();
    Control::MouseDown(p, modifiers, clickCount);
}

void Knob::MouseDrag(const Point& p, unsigned modifiers)
{
    const float step = (modifiers & kModifierShift) ? kFineStep : kCoarseStep;
    float n = std::clamp(m_dragStartValue + (p.y - m_dragStart.y) * step, 0.0f, 1.0f);
    if (modifiers & kModifierOption)
        GetNormalisedAsIntegerValued(m_param, n);
    SetParamFromNormalised(m_param, n);
    SetNormalisedValue(n);
}

void Knob::Render() const
{
    const Bounds& b = m_bounds;
    const float cx = b.CentreX(), cy = b.CentreY();
    const float a = PointerAngle(GetNormalisedValue());
    glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
    DrawOutline(b, 0.0f);
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    glBegin(GL_LINES);
    glVertex2f(cx, cy);
    glVertex2f(cx + std::sin(a) * 0.5f * b.Width(), cy + std::cos(a) * 0.5f * b.Height());
    glEnd();
}

} // namespace TW
