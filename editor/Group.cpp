#include "Group.h"

#include <GL/glew.h>

namespace TW
{

bool Group::ms_hitTestIncludesGroups = false;

Group::Group(Manager* manager) : UIElement(manager) {}

void Group::AddChild(UIElement* element)
{
    if (!element)
        return;
    m_children.push_back(element);
    element->SetParent(this);
    element->SetVisible(IsVisible());
}

void Group::SetOffset(float x, float y, float z) noexcept
{
    m_offset[0] = x;
    m_offset[1] = y;
    m_offset[2] = z;
}

void Group::Update()
{
    for (UIElement* child : m_children)
        child->Update();
}

void Group::Render() const
{
    glPushMatrix();
    glTranslatef(m_offset[0], m_offset[1], m_offset[2]);
    for (const UIElement* child : m_children)
        child->Render();
    glPopMatrix();
}

void Group::RenderPass2() const
{
    glPushMatrix();
    glTranslatef(m_offset[0], m_offset[1], m_offset[2]);
    for (const UIElement* child : m_children)
        child->RenderPass2();
    glPopMatrix();
}

void Group::ChildBounds(Bounds& b) const
{
    Bounds children;
    for (const UIElement* child : m_children)
        child->ExtendBounds(children);
    children.Translate(m_offset[0], m_offset[1], m_offset[2]);
    b.Expand(children);
}

void Group::ExtendBounds(Bounds& b) const
{
    ChildBounds(b);
}

UIElement* Group::HitTest(const Point& p)
{
    if (!IsVisible())
        return nullptr;
    const Point local{p.x - m_offset[0], p.y - m_offset[1]};
    for (UIElement* child : m_children)
        if (UIElement* hit = child->HitTest(local))
            return hit;
    if (ms_hitTestIncludesGroups && m_ownBounds.Contains(p))
        return this;
    return nullptr;
}

void Group::SetVisible(bool visible)
{
    UIElement::SetVisible(visible);
    for (UIElement* child : m_children)
        child->SetVisible(visible);
}

void Group::TransformBounds(Bounds& b) const
{
    b.Translate(m_offset[0], m_offset[1], m_offset[2]);
    if (m_parent)
        m_parent->TransformBounds(b);
}

} // namespace TW
