#include "MultiSlider.h"

#include "Group.h"
#include "LineDrawing.h"
#include "Manager.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace TW
{

MultiSlider::RegionReceiver::RegionReceiver(MultiSlider* owner, int index)
    : UIElement(nullptr), m_owner(owner), m_index(index)
{
    m_manager = owner->GetManager();
}

void MultiSlider::RegionReceiver::ExtendBounds(Bounds& b) const
{
    const Bounds& o = m_owner->GetBounds();
    const float w = (o.maxX - o.minX) / static_cast<float>(m_owner->GetCount());
    b.Expand(Bounds(o.minX + w * m_index, o.minY, o.minX + w * (m_index + 1), o.maxY));
}

void MultiSlider::RegionReceiver::MouseDown(const Point& p, unsigned modifiers, int clickCount)
{
    m_owner->MouseDown(p, modifiers, clickCount);
}

void MultiSlider::RegionReceiver::MouseDrag(const Point& p, unsigned modifiers)
{
    m_owner->MouseDrag(p, modifiers);
}

MultiSlider::MultiSlider(Manager* manager, int firstParamIndex, int count, float x, float y,
                         float width, float height)
    : MultiControl(manager, firstParamIndex, count, Bounds(x, y, x + width, y + height))
{
    for (int i = 0; i < m_count; ++i)
        m_receivers.push_back(std::make_unique<RegionReceiver>(this, i));
}

void MultiSlider::MouseEntered(int index)
{
    m_manager->SetMouseOverParam(m_params[index].index, this);
}

void MultiSlider::MouseExited(int index)
{
    m_manager->ClearMouseOverParam(m_params[index].index);
}

void MultiSlider::Update()
{
    for (int i = 0; i < m_count; ++i)
        SetNormalisedValue(i, NormalisedFromParam(m_params[i]));
}

int MultiSlider::MouseIndex(const Point& p, float& xNorm, float& yNorm, bool useOwnBounds) const
{
    Bounds b;
    if (useOwnBounds)
        b = m_bounds;
    else
        GetWorldBounds(b);
    const float w = b.maxX - b.minX, h = b.maxY - b.minY;
    xNorm = std::clamp(w > 0.0f ? (p.x - b.minX) / w : 0.0f, 0.0f, 1.0f);
    yNorm = std::clamp(h > 0.0f ? (p.y - b.minY) / h : 0.0f, 0.0f, 1.0f);
    return std::min(m_count - 1, static_cast<int>(std::floor(m_count * xNorm)));
}

UIElement* MultiSlider::HitTest(const Point& p)
{
    if (!m_bounds.Contains(p))
        return nullptr;
    float xn, yn;
    return m_receivers[MouseIndex(p, xn, yn, true)].get();
}

void MultiSlider::MouseDown(const Point& p, unsigned modifiers, int)
{
    float xn, yn;
    const int index = MouseIndex(p, xn, yn, false);
    if (modifiers & kModifierCommand)
    {
        m_manager->SetEditingParam(m_params[index].index);
        m_manager->SetParameterValue(m_params[index].index, m_params[index].defaultValue);
    }
    SetNormalisedValue(index, NormalisedFromParam(m_params[index]));
    m_dragStart = p;
    m_dragIndex = index;
    m_dragStartValue = GetNormalisedValue(index);
    MouseDrag(p, modifiers);
}

void MultiSlider::MouseDrag(const Point& p, unsigned modifiers)
{
    if (modifiers & kModifierCommand)
        return;
    float xn, yn;
    const int under = MouseIndex(p, xn, yn, false);
    const int index = (modifiers & kModifierOption) ? m_dragIndex : under;
    float n = yn;
    if (modifiers & kModifierShift)
        n = std::clamp(m_dragStartValue + (p.y - m_dragStart.y) * kFineStep, 0.0f, 1.0f);
    // The gesture is opened before the value is written.
    m_manager->SetEditingParam(m_params[index].index);
    SetParamFromNormalised(m_params[index], n);
    SetNormalisedValue(index, n);
}

void MultiSlider::FinalPosition()
{
    for (auto& receiver : m_receivers)
        receiver->SetParent(m_parent);
}

void MultiSlider::Render() const
{
    const Bounds& b = m_bounds;
    const float w = b.Width(), h = b.Height();
    glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
    DrawOutline(b, 0.0f);
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    glBegin(GL_QUADS);
    for (int i = 0; i < m_count; ++i)
    {
        const float cx = b.minX + (i + 0.5f) / m_count * w, hw = 0.4f * w / m_count;
        const float top = b.minY + GetNormalisedValue(i) * h;
        glVertex2f(cx - hw, b.minY);
        glVertex2f(cx + hw, b.minY);
        glVertex2f(cx + hw, top);
        glVertex2f(cx - hw, top);
    }
    glEnd();
}

} // namespace TW
