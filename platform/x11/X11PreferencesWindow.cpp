#include "platform/x11/X11PreferencesWindow.h"

#include "editor/IntegerField.h"

#include <X11/Xlib.h>

namespace TW
{

X11PreferencesWindow::X11PreferencesWindow(Manager* editor, const char* displayName)
    : m_bridge(0, PreferencesPanel::kWidth, PreferencesPanel::kHeight,
               PreferencesPanel::Title().c_str(), displayName),
      m_manager(nullptr, &m_bridge), m_panel(&m_manager, editor), m_input(*this)
{
    if (!m_bridge.IsOpen())
    {
        m_closed = true;
        return;
    }
    m_panel.GetPortField()->SetRefusedCallback(&Beep, this);
    m_bridge.SetInputSink(&m_input);
    m_manager.CreateControl(0, 0);
    m_bridge.Show();
    m_bridge.CenterWindow(nullptr);
    m_manager.CreateRenderTask();
}

X11PreferencesWindow::~X11PreferencesWindow()
{
    Close();
}

void X11PreferencesWindow::Beep(void* refcon)
{
    auto* self = static_cast<X11PreferencesWindow*>(refcon);
    if (Display* display = self->m_bridge.GetDisplay())
    {
        XBell(display, 0);
        XFlush(display);
    }
}

void X11PreferencesWindow::BringForward()
{
    if (!IsOpen() || !m_bridge.IsWindowAlive())
        return;
    XRaiseWindow(m_bridge.GetDisplay(), m_bridge.GetWindow());
    XFlush(m_bridge.GetDisplay());
    m_bridge.SetFocusToWindow();
}

bool X11PreferencesWindow::Pump()
{
    if (m_closed)
        return false;
    m_bridge.Pump();
    if (m_closeRequested || !m_bridge.IsWindowAlive())
        Close();
    return !m_closed;
}

void X11PreferencesWindow::Close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_manager.DestroyRenderTask();
    m_bridge.SetInputSink(nullptr);
    m_panel.Close();
    if (Display* display = m_bridge.GetDisplay(); display && m_bridge.IsWindowAlive())
    {
        XUnmapWindow(display, m_bridge.GetWindow());
        XFlush(display);
    }
}

} // namespace TW
