#include "Label.h"

#include "Font.h"
#include "Manager.h"

#include <GL/glew.h>

#include <cmath>

namespace TW
{

Label::Label(Manager* manager, const char* text, int justification, float x, float y, float width,
             float height)
    : ControlBase(manager, Bounds()), m_text(text ? text : "")
{
    float w = 0.0f, h = 0.0f, mw = 0.0f;
    if (Font* font = manager->GetLabelFont())
    {
        w = font->GetStringWidth(m_text.c_str());
        font->StringSize("M", mw, h);
    }
    float left, right, bottom, top;
    if (width == 0.0f)
    {
        const float fitted = std::floor(w) + 6.0f;
        if (justification == kLeft)
            left = std::floor(x);
        else if (justification == kRight)
            left = std::floor(x - fitted);
        else
            left = std::floor(x - fitted / 2.0f);
        right = left + fitted;
        m_insetX = 3.0f;
    }
    else
    {
        left = std::floor(x);
        right = std::floor(x + width);
        m_insetX = std::floor(width / 2.0f - w / 2.0f);
    }
    if (height == 0.0f)
    {
        const float fitted = std::floor(h) + 6.0f;
        top = y;
        bottom = y - fitted;
        m_insetY = 3.0f;
    }
    else
    {
        bottom = std::floor(y);
        top = std::floor(y + height);
        m_insetY = std::floor(height / 2.0f - h / 2.0f);
    }
    m_bounds = Bounds(left, bottom, right, top);
}

void Label::SetBackgroundColour(float r, float g, float b, float a) noexcept
{
    m_background[0] = r, m_background[1] = g, m_background[2] = b, m_background[3] = a;
}

void Label::SetForegroundColour(float r, float g, float b, float a) noexcept
{
    m_foreground[0] = r, m_foreground[1] = g, m_foreground[2] = b, m_foreground[3] = a;
}

void Label::DrawLabel(Font* font) const
{
    if (m_text.empty())
        return;
    Bounds b;
    GetWorldBounds(b);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4fv(m_background);
    glRectf(b.minX, b.minY, b.maxX, b.maxY);
    glDisable(GL_BLEND);
    if (!font)
        return;
    glColor4fv(m_foreground);
    m_manager->DrawText(font, m_text.c_str(), b.minX + m_insetX, b.minY + m_insetY);
}

} // namespace TW
