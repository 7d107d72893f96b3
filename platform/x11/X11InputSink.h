// What an X11 editor window reports: the manager's input calls in its own terms (view points,
// origin at the bottom left, y upward; modifiers 0x100 command, 0x200 shift, 0x800 option).
// The editor's side implements it by calling the manager. Main thread.
#pragma once

namespace TW
{

class X11InputSink
{
public:
    static constexpr unsigned kCommandKey = 0x100; // Control
    static constexpr unsigned kShiftKey = 0x200;   // Shift
    static constexpr unsigned kOptionKey = 0x800;  // Alt (Mod1)

    // Keys that are not printable bytes.
    static constexpr unsigned char kDeleteBackward = 8;
    static constexpr unsigned char kEnter = 3;   // keypad Enter
    static constexpr unsigned char kReturn = 13; // Return
    static constexpr unsigned char kLeft = 28;
    static constexpr unsigned char kRight = 29;
    static constexpr unsigned char kUp = 30;
    static constexpr unsigned char kDown = 31;

    virtual ~X11InputSink() = default;
    virtual void MouseDown(float x, float y, unsigned modifiers, int clickCount,
                           bool rightButton) = 0;
    virtual void MouseDragged(float x, float y, unsigned modifiers) = 0;
    virtual void MouseUp(float x, float y, unsigned modifiers) = 0;
    virtual void MouseMoved(float x, float y) = 0;
    // One step per wheel click: up and left +1, down and right -1.
    virtual void MouseWheel(float x, float y, float delta, unsigned modifiers) = 0;
    // One byte of text or one of the key codes above; true when it was used.
    virtual bool Keypress(unsigned char key) = 0;
    // The window lost the keyboard focus.
    virtual void FocusLost() = 0;
    // Part of the window must be drawn again.
    virtual void Exposed() {}
    // The window was destroyed from outside (its parent went first); draw no more.
    virtual void WindowDestroyed() {}
    // The user asked to close a top-level window.
    virtual void CloseRequested() {}
};

} // namespace TW
