#include "CheckBox.h"

#include "Font.h"
#include "LineDrawing.h"
#include "Manager.h"
#include "StaticText.h"

#include <GL/glew.h>

namespace TW
{

float CheckBox::ms_captionColour[4] = {0.85f, 0.88f, 0.95f, 1.0f};

CheckBox::CheckBox(Manager* manager, const char* caption, bool* value, Callback callback,
                   void* refcon, float x, float y, float size)
    : ControlBase(manager, Bounds(x, y, x + size, y + size)), m_caption(caption ? caption : ""),
      m_value(value), m_callback(callback), m_refcon(refcon)
{
}

void CheckBox::FinalPosition()
{
    Font* font = m_manager->GetLabelFont();
    if (!font || m_caption.empty())
        return;
    Bounds b;
    GetWorldBounds(b);
    const float y = 0.5f * (b.minY + b.maxY - font->GetLineHeight()) - font->GetDescender();
    m_manager->GetLabelText()->Add(m_caption.c_str(), b.maxX + 8.0f, y, ms_captionColour);
}

void CheckBox::Render() const
{
    const Bounds& b = m_bounds;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.9f, 0.9f, 0.95f, m_pressed.load() ? 0.35f : 0.15f);
    glRectf(b.minX, b.minY, b.maxX, b.maxY);
    glColor4f(0.5f, 0.8f, 1.0f, 0.9f);
    DrawOutline(b, 0.5f);
    if (*m_value)
    {
        const float inset = 0.25f * b.Width();
        glColor4f(0.5f, 0.8f, 1.0f, 1.0f);
        glRectf(b.minX + inset, b.minY + inset, b.maxX - inset, b.maxY - inset);
    }
    glDisable(GL_BLEND);
}

void CheckBox::MouseDown(const Point&, unsigned, int)
{
    m_pressed.store(true);
}

void CheckBox::MouseUp(const Point& p, unsigned)
{
    if (!m_pressed.exchange(false))
        return;
    Bounds b;
    GetWorldBounds(b);
    if (!b.Contains(p))
        return;
    *m_value = !*m_value;
    if (m_callback)
        m_callback(this, m_refcon);
}

} // namespace TW
