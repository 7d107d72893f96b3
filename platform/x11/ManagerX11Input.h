// Connects an X11 editor window to its manager: each input call of the window becomes the
// manager's own input call. Main thread.
#pragma once

#include "platform/x11/X11InputSink.h"

namespace TW
{

class Manager;

class ManagerX11Input : public X11InputSink
{
public:
    explicit ManagerX11Input(Manager& manager) : m_manager(manager) {}

    void MouseDown(float x, float y, unsigned modifiers, int clickCount, bool rightButton) override;
    void MouseDragged(float x, float y, unsigned modifiers) override;
    void MouseUp(float x, float y, unsigned modifiers) override;
    void MouseMoved(float x, float y) override;
    void MouseWheel(float x, float y, float delta, unsigned modifiers) override;
    bool Keypress(unsigned char key) override;
    void FocusLost() override;
    // Asks the drawing thread for a frame.
    void Exposed() override;

private:
    Manager& m_manager;
};

} // namespace TW
