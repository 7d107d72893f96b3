#include "NamedGroup.h"

#include "Font.h"
#include "Manager.h"
#include "StaticText.h"

#include <GL/glew.h>

namespace TW
{

float NamedGroup::ms_activeTargetColour[4] = {0.5f, 0.8f, 1.0f, 0.6f};
float NamedGroup::ms_inactiveTargetColour[4] = {0.5f, 0.5f, 0.5f, 0.5f};

NamedGroup::NamedGroup(Manager* manager, const char* name, const float margins[4])
    : Group(manager), m_name(name ? name : "")
{
    for (int i = 0; i < 4; ++i)
    {
        m_margins[i] = margins[i];
        m_colour[i] = ms_inactiveTargetColour[i];
    }
}

void NamedGroup::ExtendBounds(Bounds& b) const
{
    Bounds children;
    for (const UIElement* child : m_children)
        child->ExtendBounds(children);
    if (!children.IsEmpty())
    {
        children.minX -= m_margins[2];
        children.minY -= m_margins[1];
        children.maxX += m_margins[3];
        children.maxY += m_margins[0];
        children.Translate(m_offset[0], m_offset[1], m_offset[2]);
    }
    b.Expand(children);
}

void NamedGroup::FinalPosition()
{
    Bounds world;
    GetWorldBounds(world);
    if (world.IsEmpty())
        return;
    const float left = world.minX, right = world.maxX, top = world.maxY, bottom = world.minY;
    float titleWidth = 0.0f;
    Font* font = m_manager->GetBannerFont();
    if (font)
    {
        const float y = top - 0.5f * font->GetLineHeight() - font->GetDescender();
        m_textIndex = m_manager->GetBannerText()->Add(m_name.c_str(), left + 10.0f, y, m_colour);
        m_manager->GetBannerText()->SetVisible(m_textIndex, IsVisible());
        titleWidth = font->GetStringWidth(m_name.c_str());
    }
    const float frame[6][2] = {{left + 10.0f, top}, {left, top},  {left, bottom},
                               {right, bottom},     {right, top}, {left + 10.0f + titleWidth, top}};
    for (int i = 0; i < 6; ++i)
    {
        m_frame[i][0] = frame[i][0];
        m_frame[i][1] = frame[i][1];
    }
    m_ownBounds = world;
}

void NamedGroup::Render() const
{
    if (!IsVisible())
        return;
    Group::Render();
    const float* target = m_target.load(std::memory_order_relaxed);
    for (int i = 0; i < 4; ++i)
        m_colour[i] = 0.85f * m_colour[i] + 0.15f * target[i];
    // The frame was computed in world coordinates.
    glPushMatrix();
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4fv(m_colour);
    glBegin(GL_LINE_STRIP);
    for (const auto& point : m_frame)
        glVertex2f(point[0], point[1]);
    glEnd();
    glDisable(GL_BLEND);
    glPopMatrix();
}

void NamedGroup::MouseEntered()
{
    m_target.store(ms_activeTargetColour, std::memory_order_relaxed);
}

void NamedGroup::MouseExited()
{
    m_target.store(ms_inactiveTargetColour, std::memory_order_relaxed);
}

void NamedGroup::SetVisible(bool visible)
{
    Group::SetVisible(visible);
    if (m_textIndex >= 0)
        m_manager->GetBannerText()->SetVisible(m_textIndex, visible);
}

} // namespace TW
