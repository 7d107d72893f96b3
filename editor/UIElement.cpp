#include "UIElement.h"

#include "Group.h"
#include "Manager.h"

namespace TW
{

UIElement::UIElement(Manager* manager) : m_manager(manager)
{
    if (m_manager)
        m_manager->AddElement(this);
}

UIElement::~UIElement() = default;

void UIElement::GetWorldBounds(Bounds& b) const
{
    ExtendBounds(b);
    if (m_parent)
        m_parent->TransformBounds(b);
}

float UIElement::GetWidth() const
{
    Bounds b;
    ExtendBounds(b);
    return b.Width();
}

float UIElement::GetHeight() const
{
    Bounds b;
    ExtendBounds(b);
    return b.Height();
}

} // namespace TW
