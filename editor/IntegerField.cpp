#include "IntegerField.h"

#include "Font.h"
#include "LineDrawing.h"
#include "Manager.h"
#include "ManagerPlatformBridge.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace TW
{

IntegerField::IntegerField(Manager* manager, long maximum, float x, float y, float width,
                           float height)
    : ControlBase(manager, Bounds(x, y, x + width, y + height)), m_maximum(maximum)
{
    m_integerValued = true;
}

void IntegerField::SetRefusedCallback(RefusedCallback callback, void* refcon)
{
    m_refusedCallback = callback;
    m_refusedRefcon = refcon;
}

void IntegerField::SetValue(long value)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (value < 0)
        m_text[0] = '\0';
    else
        std::snprintf(m_text, sizeof m_text, "%ld", value > m_maximum ? m_maximum : value);
}

long IntegerField::GetValue() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_text[0] ? std::strtol(m_text, nullptr, 10) : -1;
}

std::string IntegerField::GetText() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_text;
}

int IntegerField::GetRefusedCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_refused;
}

void IntegerField::Refuse()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_refused;
    }
    if (m_refusedCallback)
        m_refusedCallback(m_refusedRefcon);
}

void IntegerField::MouseDown(const Point&, unsigned, int)
{
    if (ManagerPlatformBridge* bridge = m_manager->GetBridge())
        bridge->SetFocusToWindow();
    m_manager->SetKeyboardFocusElement(this);
}

bool IntegerField::Keypress(unsigned char key)
{
    bool refused = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const std::size_t n = std::strlen(m_text);
        const long value = n ? std::strtol(m_text, nullptr, 10) : 0;
        if (key == 8) // delete backward
        {
            if (n)
                m_text[n - 1] = '\0';
        }
        else if (key == 30 || key == 31) // up, down
        {
            const long next = value + (key == 30 ? 1 : -1);
            if (next < 0 || next > m_maximum)
                refused = true;
            else
                std::snprintf(m_text, sizeof m_text, "%ld", next);
        }
        else if (key >= '0' && key <= '9')
        {
            // A leading zero is replaced: "0" then "7" is 7, never "07".
            const bool replace = n == 1 && m_text[0] == '0';
            const long next = (replace ? 0 : value * 10) + (key - '0');
            if ((!replace && n >= static_cast<std::size_t>(kMaxDigits)) || next > m_maximum)
                refused = true;
            else
                std::snprintf(m_text, sizeof m_text, "%ld", next);
        }
        else if (key != 13 && key != 3 && key != 28 && key != 29)
            refused = true; // return, enter, left and right change nothing and are no fault
    }
    if (refused)
        Refuse();
    return true;
}

void IntegerField::Render() const
{
    const Bounds& b = m_bounds;
    char text[sizeof m_text];
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::memcpy(text, m_text, sizeof text);
    }
    glColor3f(0.8f, 0.8f, 0.85f);
    glRectf(b.minX, b.minY, b.maxX, b.maxY);
    if (m_manager->GetKeyboardFocusElement() == this)
    {
        glColor3f(0.5f, 0.8f, 1.0f);
        DrawOutline(b, 1.5f);
    }
    if (Font* font = m_manager->GetTextFieldFont())
    {
        const float width = font->GetStringWidth(text);
        glColor3f(0.1f, 0.1f, 0.1f);
        m_manager->DrawText(font, text, b.maxX - 5.0f - width,
                            b.minY + 0.5f * (b.Height() - font->GetLineHeight()) -
                                font->GetDescender());
    }
}

} // namespace TW
