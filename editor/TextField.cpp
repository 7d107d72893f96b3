#include "TextField.h"

#include "Font.h"
#include "LineDrawing.h"
#include "Manager.h"
#include "ManagerPlatformBridge.h"

#include <GL/glew.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace TW
{

TextField::TextField(Manager* manager, int paramIndex, float x, float y, float width, float height,
                     const char* format)
    : Control(manager, paramIndex, Bounds(x, y, x + width, y + height)),
      m_format(format ? format : ""), m_lastShown(std::nanf(""))
{
}

std::string TextField::GetText() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_refresh && m_cursor < 0)
        RefreshText(m_manager->GetParameterValue(m_param.index));
    return m_text;
}

bool TextField::IsEditing() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_cursor >= 0;
}

void TextField::RefreshText(float value) const
{
    char text[72];
    m_manager->FormatParamValue(m_param.index, text);
    if (!m_format.empty() && !std::isalpha(static_cast<unsigned char>(text[0])))
        std::snprintf(text, sizeof text, m_format.c_str(), static_cast<double>(value));
    const std::size_t n = std::min(std::strlen(text), sizeof m_text - 1);
    std::memcpy(m_text, text, n);
    m_text[n] = '\0';
    m_lastShown = value;
    m_refresh = false;
    if (Font* font = m_manager->GetTextFieldFont())
        m_textWidth = font->GetStringWidth(m_text);
}

void TextField::Render() const
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const float value = m_manager->GetParameterValue(m_param.index);
        if (m_cursor < 0 && (m_refresh || value != m_lastShown))
            RefreshText(value);
    }
    DoRender();
}

void TextField::DoRender() const
{
    const Bounds& b = m_bounds;
    glColor3fv(m_background);
    glRectf(b.minX, b.minY, b.maxX, b.maxY);
    char text[kMaxTypedChars + 1];
    bool editing;
    float width;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::memcpy(text, m_text, sizeof text);
        editing = m_cursor >= 0;
        width = m_textWidth;
    }
    if (m_manager->GetKeyboardFocusElement() == this)
    {
        glColor3fv(editing ? m_changed : m_active);
        DrawOutline(b, 1.5f);
    }
    if (Font* font = m_manager->GetTextFieldFont())
    {
        glColor3fv(m_textColour);
        m_manager->DrawText(font, text, b.maxX - 1.0f - width, b.minY + 2.0f);
    }
}

void TextField::MouseDown(const Point& p, unsigned modifiers, int clickCount)
{
    if (ManagerPlatformBridge* bridge = m_manager->GetBridge())
        bridge->SetFocusToWindow();
    m_dragStart = p;
    Control::MouseDown(p, modifiers, clickCount);
    m_manager->SetKeyboardFocusElement(this);
}

float TextField::Increment() const
{
    if (std::isalpha(static_cast<unsigned char>(m_text[0])))
        return 1.0f;
    const char* dot = std::strrchr(m_text, '.');
    if (!dot)
        return 1.0f;
    int digits = 0;
    for (const char* c = dot + 1; *c && std::isdigit(static_cast<unsigned char>(*c)); ++c)
        ++digits;
    return std::pow(10.0f, -static_cast<float>(digits));
}

void TextField::Commit(float value)
{
    // A typed value outside the parameter's range would reach the engine unchecked.
    if (m_param.maxValue > m_param.minValue)
        value = std::clamp(value, m_param.minValue, m_param.maxValue);
    m_manager->SetEditingParam(m_param.index);
    m_manager->SetParameterValue(m_param.index, value);
    m_manager->UnsetEditingParam(m_param.index);
    std::lock_guard<std::mutex> lock(m_lock);
    m_cursor = -1;
    m_refresh = true;
}

void TextField::CommitTyped()
{
    float value;
    bool parsed;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        parsed = m_cursor >= 0 && std::sscanf(m_text, "%f", &value) == 1;
    }
    if (parsed)
        Commit(value);
}

bool TextField::Keypress(unsigned char key)
{
    switch (key)
    {
    case 30: // up
    case 29: // right
    case 31: // down
    case 28: // left
    {
        float step;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            step = Increment();
        }
        CommitTyped();
        const float sign = (key == 30 || key == 29) ? 1.0f : -1.0f;
        Commit(m_manager->GetParameterValue(m_param.index) + sign * step);
        return true;
    }
    case 13:
    case 3:
        CommitTyped();
        return true;
    default:
        break;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    if (key == 8)
    {
        if (m_cursor > 0)
            m_text[--m_cursor] = '\0';
        return true;
    }
    if (key == '-')
    {
        if (m_cursor <= 0)
        {
            std::snprintf(m_text, sizeof m_text, "-");
            m_cursor = 1;
        }
        return true;
    }
    if (key == '.' || std::isdigit(key))
    {
        if (m_cursor < 0)
        {
            m_cursor = 0;
            m_text[0] = '\0';
        }
        if (key == '.' && std::strchr(m_text, '.'))
            return true;
        if (m_cursor >= kMaxTypedChars)
            return true;
        m_text[m_cursor++] = static_cast<char>(key);
        m_text[m_cursor] = '\0';
        if (Font* font = m_manager->GetTextFieldFont())
            m_textWidth = font->GetStringWidth(m_text);
        return true;
    }
    return false;
}

void TextField::LostFocus()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_cursor = -1;
    m_refresh = true;
}

void TextField::SetBackgroundColour(float r, float g, float b) noexcept
{
    m_background[0] = r, m_background[1] = g, m_background[2] = b;
}
void TextField::SetActiveColour(float r, float g, float b) noexcept
{
    m_active[0] = r, m_active[1] = g, m_active[2] = b;
}
void TextField::SetChangedColour(float r, float g, float b) noexcept
{
    m_changed[0] = r, m_changed[1] = g, m_changed[2] = b;
}
void TextField::SetTextColour(float r, float g, float b) noexcept
{
    m_textColour[0] = r, m_textColour[1] = g, m_textColour[2] = b;
}

} // namespace TW
