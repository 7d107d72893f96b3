#include "Button.h"

#include "Manager.h"

namespace TW
{

Button::Button(Manager* manager, const char* text, Callback callback, void* refcon, float x,
               float y, float width, float height, int helpId)
    : ControlBase(manager, Bounds(x, y, x + width, y + height)), m_text(text ? text : ""),
      m_callback(callback), m_refcon(refcon), m_helpId(helpId)
{
}

void Button::MouseUp(const Point&, unsigned)
{
    if (m_callback)
        m_callback(this, m_refcon);
}

void Button::MouseEntered()
{
    m_manager->SetMouseOverParam(m_helpId, this);
}

void Button::MouseExited()
{
    m_manager->ClearMouseOverParam(m_helpId);
}

StatefulButton::StatefulButton(Manager* manager, const char* text, Callback callback, void* refcon,
                               float x, float y, float width, float height, int helpId, int type)
    : Button(manager, text, callback, refcon, x, y, width, height, helpId), m_type(type)
{
}

} // namespace TW
