// The preferences window on X11: a top-level window of its own (own connection, own GLX context
// and drawing thread) showing the preferences panel, drawn by a small manager of its own with
// the editor's own elements; no toolkit, whose libraries would clash with a host's. Refused
// keystrokes in the port field ring the X bell. Closing it (the window manager's close, or the
// editor going) applies the port.
#pragma once

#include "editor/Manager.h"
#include "editor/PreferencesPanel.h"
#include "platform/x11/ManagerX11Input.h"
#include "platform/x11/X11Bridge.h"

namespace TW
{

class X11PreferencesWindow
{
public:
    // Opens and shows the window on the display (null: $DISPLAY) for the editor whose instrument
    // takes the new port (may be null). IsOpen tells whether it worked. Main thread.
    X11PreferencesWindow(Manager* editor, const char* displayName);
    // Closes the window if still open (applying the port). Main thread.
    ~X11PreferencesWindow();

    X11PreferencesWindow(const X11PreferencesWindow&) = delete;
    X11PreferencesWindow& operator=(const X11PreferencesWindow&) = delete;

    bool IsOpen() const { return m_bridge.IsOpen() && !m_closed; }
    // Main thread: raises the window and gives it the keyboard (asked for again while open).
    void BringForward();
    // Main thread: handles the window's waiting events; false once it has closed.
    bool Pump();
    // Main thread: applies the port and closes the window; only the first call does anything.
    void Close();
    // Main thread: the editor has gone; a port applied later is stored and made the base port,
    // but no instrument is told.
    void ForgetEditor() { m_panel.SetEditor(nullptr); }

    X11Bridge& GetBridge() { return m_bridge; }
    Manager& GetManager() { return m_manager; }
    PreferencesPanel& GetPanel() { return m_panel; }

private:
    class Input : public ManagerX11Input
    {
    public:
        Input(X11PreferencesWindow& owner) : ManagerX11Input(owner.m_manager), m_owner(owner) {}
        void CloseRequested() override { m_owner.m_closeRequested = true; }
        void WindowDestroyed() override { m_owner.m_closeRequested = true; }

    private:
        X11PreferencesWindow& m_owner;
    };

    static void Beep(void* refcon);

    X11Bridge m_bridge;
    Manager m_manager;
    PreferencesPanel m_panel;
    Input m_input;
    bool m_closeRequested = false;
    bool m_closed = false;
};

} // namespace TW
