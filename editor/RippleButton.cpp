#include "RippleButton.h"

#include "Font.h"
#include "Manager.h"
#include "Ripples.h"
#include "StaticText.h"
#include "Vortex.h"

#include <GL/glew.h>

namespace TW
{

float RippleButton::ms_textColour[4] = {1.0f, 1.0f, 1.0f, 0.6f};

RippleButton::RippleButton(Manager* manager, Ripples* ripples, Vortex* vortex, const char* text,
                           Callback callback, void* refcon, float x, float y, float width,
                           float height, int helpId)
    : Button(manager, text, callback, refcon, x, y, width, height, helpId), m_ripples(ripples),
      m_vortex(vortex)
{
}

void RippleButton::FinalPosition()
{
    Button::FinalPosition();
    Font* font = m_manager->GetBannerFont();
    StaticText* texts = m_manager->GetBannerText();
    if (!font || !texts || m_text.empty() || m_textIndex >= 0)
        return;
    Bounds b;
    GetWorldBounds(b);
    const float width = font->GetStringWidth(m_text.c_str());
    const float x = 0.5f * (b.minX + b.maxX - width);
    const float y = 0.5f * (b.minY + b.maxY - font->GetLineHeight()) - font->GetDescender();
    m_textIndex = texts->Add(m_text.c_str(), x, y, ms_textColour);
}

void RippleButton::Render() const
{
    const Vec4 target = GetTargetColour();
    m_current.r = 0.85f * m_current.r + 0.15f * target.r;
    m_current.g = 0.85f * m_current.g + 0.15f * target.g;
    m_current.b = 0.85f * m_current.b + 0.15f * target.b;
    m_current.a = 0.85f * m_current.a + 0.15f * target.a;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(m_current.r, m_current.g, m_current.b, m_current.a);
    glRectf(m_bounds.minX, m_bounds.minY, m_bounds.maxX, m_bounds.maxY);
    glDisable(GL_BLEND);
}

void RippleButton::MouseDown(const Point& p, unsigned modifiers, int clickCount)
{
    if (m_vortex)
    {
        Bounds b;
        GetWorldBounds(b);
        m_vortex->Launch(b.CentreX(), b.CentreY());
    }
    Button::MouseDown(p, modifiers, clickCount);
}

void RippleButton::MouseEntered()
{
    if (m_ripples)
    {
        Bounds b;
        GetWorldBounds(b);
        m_ripples->Trigger(b.CentreX(), b.CentreY(), kRippleColour, 0.5f * b.Width(), 2.0f, 30.0f);
    }
    m_hovered.store(true, std::memory_order_relaxed);
    Button::MouseEntered();
}

void RippleButton::MouseExited()
{
    m_hovered.store(false, std::memory_order_relaxed);
    Button::MouseExited();
}

} // namespace TW
