#include "platform/x11/ManagerX11Input.h"

#include "editor/Manager.h"

namespace TW
{

void ManagerX11Input::MouseDown(float x, float y, unsigned modifiers, int clickCount,
                                bool rightButton)
{
    m_manager.HandleMouseNoLoopDown(Point{x, y}, modifiers, clickCount, rightButton);
}

void ManagerX11Input::MouseDragged(float x, float y, unsigned modifiers)
{
    m_manager.HandleMouseNoLoopDragged(Point{x, y}, modifiers);
}

void ManagerX11Input::MouseUp(float x, float y, unsigned modifiers)
{
    m_manager.HandleMouseNoLoopUp(Point{x, y}, modifiers);
}

void ManagerX11Input::MouseMoved(float x, float y)
{
    m_manager.HandleMouseMove(Point{x, y});
}

void ManagerX11Input::MouseWheel(float x, float y, float delta, unsigned modifiers)
{
    m_manager.HandleMouseWheel(Point{x, y}, delta, modifiers);
}

bool ManagerX11Input::Keypress(unsigned char key)
{
    return m_manager.HandleKeypress(key);
}

void ManagerX11Input::FocusLost()
{
    m_manager.HandleWindowFocusRelinquish();
}

void ManagerX11Input::Exposed()
{
    m_manager.NudgeGUI();
}

} // namespace TW
