// The manager's input routing: mouse, wheel, keys, hover tracking and the resize drag.
#include "Manager.h"

#include "Group.h"
#include "ManagerPlatformBridge.h"
#include "UIElement.h"

#include <cmath>
#include <cstdlib>

namespace TW
{

void Manager::HandleMouseNoLoopDown(Point pos, unsigned modifiers, int clickCount, bool)
{
    if (UIElement* focus = m_focusElement.exchange(nullptr))
        focus->LostFocus();
    if (m_captured) // a press without the release of the previous one: finish that first
        EndCapture(m_lastDragPos, m_capturedModifiers);
    const int vw = m_viewWidth.load(), vh = m_viewHeight.load();
    if (pos.x - pos.y > static_cast<float>(vw - 16))
    {
        m_resizing = true;
        m_resizeStartX = pos.x;
        m_resizeStartTop = static_cast<float>(vh) - pos.y;
        m_resizeStartWidth = vw;
        m_resizeStartHeight = vh;
    }
    else
    {
        const Point p = ScaledMousePos(pos);
        m_captured = m_root->HitTest(p);
        m_capturedModifiers = modifiers;
        m_lastDragPos = pos;
        if (m_captured)
            m_captured->MouseDown(p, modifiers, clickCount);
    }
    if (m_beginCapture)
        m_beginCapture(m_captureRefcon);
}

void Manager::HandleMouseNoLoopDragged(Point pos, unsigned modifiers)
{
    if (!m_resizing)
    {
        if (!m_captured)
            return;
        m_lastDragPos = pos;
        const Point p = ScaledMousePos(pos);
        if (modifiers != m_capturedModifiers)
        {
            // Pressing or releasing a modifier restarts the drag from the current point.
            m_captured->MouseUp(p, m_capturedModifiers);
            m_captured->MouseDown(p, modifiers, 1);
            m_capturedModifiers = modifiers;
        }
        m_captured->MouseDrag(p, modifiers);
        return;
    }
    const int frameHeight = m_bridge ? m_bridge->GetFrameHeight() : m_viewHeight.load();
    const float dx = pos.x - m_resizeStartX;
    const float dy = (static_cast<float>(frameHeight) - pos.y) - m_resizeStartTop;
    int width, height;
    if (std::fabs(dx) > std::fabs(dy))
    {
        width = static_cast<int>(static_cast<float>(m_resizeStartWidth) + dx);
        height = 0;
    }
    else
    {
        width = 0;
        height = static_cast<int>(static_cast<float>(m_resizeStartHeight) + dy);
    }
    ConstrainViewSize(m_designWidth.load(), m_designHeight.load(), width, height);
    ResizeView(width, height);
    if (m_userResize)
        m_userResize(width, height, m_userResizeRefcon);
}

void Manager::ConstrainViewSize(int designWidth, int designHeight, int& width, int& height)
{
    const float a = static_cast<float>(std::max(1, designWidth)) /
                    static_cast<float>(std::max(1, designHeight));
    auto heightOf = [a](int w) { return static_cast<int>(static_cast<float>(w) / a); };
    // The side that was given leads; with both given, the width when the window it makes fits
    // the height, else the height.
    if (width <= 0 || (height > 0 && heightOf(width) > height))
        width = static_cast<int>(static_cast<float>(std::min(kMaxHeight, height)) * a);
    width = std::min(kMaxWidth, width);
    if (heightOf(width) > kMaxHeight)
        width = static_cast<int>(a * kMaxHeight);
    // A window dragged down to nothing cannot be found again: its shorter side stays 16.
    if (width < 16 || heightOf(width) < 16)
    {
        width = std::max(16, static_cast<int>(16.0f * a));
        while (heightOf(width) < 16)
            ++width;
    }
    // The height always follows the width, so that a size made here comes back unchanged.
    height = heightOf(width);
}

void Manager::ResizeView(int width, int height)
{
    if (m_bridge)
        m_bridge->SetFrameSize(width, height);
    m_viewWidth = width;
    m_viewHeight = height;
    SetSurfaceSizeFromView(width, height);
    SetEventBits(kEventResize);
}

void Manager::EndCapture(Point pos, unsigned modifiers)
{
    UIElement* captured = m_captured;
    m_captured = nullptr;
    if (m_endCapture)
        m_endCapture(m_captureRefcon);
    if (captured)
        captured->MouseUp(ScaledMousePos(pos), modifiers);
    const int editing = m_editingParam.load();
    if (editing >= 0)
    {
        CallEndEdit(editing);
        m_editingParam = -1;
    }
}

void Manager::HandleMouseNoLoopUp(Point pos, unsigned modifiers)
{
    if (m_resizing)
    {
        m_resizing = false;
        if (m_endCapture)
            m_endCapture(m_captureRefcon);
        return;
    }
    if (m_captured)
        EndCapture(pos, modifiers);
}

void Manager::HandleMouseWheel(Point pos, float delta, unsigned modifiers)
{
    if (m_captured || m_resizing)
        return; // a button is held: the drag owns the element
    HandleMouseNoLoopDown(pos, modifiers, 1, false);
    HandleMouseNoLoopDragged(Point{pos.x, pos.y + delta * 10.0f}, modifiers);
    HandleMouseNoLoopUp(Point{pos.x, pos.y + delta * 10.0f}, modifiers);
}

void Manager::HandleMouseMove(Point pos)
{
    const Point p = ScaledMousePos(pos);
    Group::ms_hitTestIncludesGroups = true;
    UIElement* hit = m_root->HitTest(p);
    Group::ms_hitTestIncludesGroups = false;
    if (hit == m_root)
        hit = nullptr;
    for (auto it = m_hoverMap.begin(); it != m_hoverMap.end();)
    {
        const Bounds& b = it->second;
        if (p.x < b.minX || p.x > b.maxX || p.y < b.minY || p.y > b.maxY)
        {
            UIElement* element = it->first;
            it = m_hoverMap.erase(it);
            element->MouseExited();
        }
        else
            ++it;
    }
    if (!hit || m_hoverMap.count(hit))
        return;
    Bounds world;
    hit->GetWorldBounds(world);
    m_hoverMap.emplace(hit, world);
    hit->MouseEntered();
    m_mouseOverElement = hit;
}

bool Manager::HandleKeypress(unsigned char key)
{
    UIElement* focus = m_focusElement.load();
    return focus ? focus->Keypress(key) : false;
}

void Manager::HandleWindowFocusRelinquish()
{
    if (UIElement* focus = m_focusElement.exchange(nullptr))
        focus->LostFocus();
    // A drag whose release went to another window would leave its gesture open.
    if (m_captured)
        EndCapture(m_lastDragPos, m_capturedModifiers);
    m_resizing = false;
}

void Manager::SetKeyboardFocusElement(UIElement* element)
{
    UIElement* previous = m_focusElement.exchange(element);
    if (previous && previous != element)
        previous->LostFocus();
}

void Manager::SetFocusToWindow()
{
    if (m_bridge)
        m_bridge->SetFocusToWindow();
}

} // namespace TW
