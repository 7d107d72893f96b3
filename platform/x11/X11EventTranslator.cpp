#include "platform/x11/X11EventTranslator.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>

namespace TW
{

unsigned X11EventTranslator::Modifiers(unsigned state)
{
    unsigned modifiers = 0;
    if (state & ControlMask)
        modifiers |= X11InputSink::kCommandKey;
    if (state & ShiftMask)
        modifiers |= X11InputSink::kShiftKey;
    if (state & Mod1Mask)
        modifiers |= X11InputSink::kOptionKey;
    return modifiers;
}

unsigned char X11EventTranslator::SpecialKey(unsigned long keysym)
{
    switch (keysym)
    {
    case XK_BackSpace:
        return X11InputSink::kDeleteBackward;
    case XK_Return:
        return X11InputSink::kReturn;
    case XK_KP_Enter:
        return X11InputSink::kEnter;
    case XK_Up:
    case XK_KP_Up:
        return X11InputSink::kUp;
    case XK_Down:
    case XK_KP_Down:
        return X11InputSink::kDown;
    case XK_Left:
    case XK_KP_Left:
        return X11InputSink::kLeft;
    case XK_Right:
    case XK_KP_Right:
        return X11InputSink::kRight;
    default:
        return 0;
    }
}

bool X11EventTranslator::Translate(_XEvent& event, X11InputSink& sink)
{
    switch (event.type)
    {
    case ButtonPress:
    {
        const XButtonEvent& b = event.xbutton;
        const unsigned modifiers = Modifiers(b.state);
        if (b.button >= 4 && b.button <= 7)
        {
            // The wheel moves nothing while a button is held.
            if (m_pressedButton != 0 || (b.state & (Button1Mask | Button2Mask | Button3Mask)))
                return true;
            const float delta = (b.button == 4 || b.button == 6) ? 1.0f : -1.0f;
            sink.MouseWheel(ViewX(b.x), ViewY(b.y), delta, modifiers);
            return true;
        }
        if ((b.button != 1 && b.button != 3) || m_pressedButton != 0)
            return true;
        const bool again = b.button == m_lastButton && b.time >= m_lastPressTime &&
                           b.time - m_lastPressTime <= m_doubleClickTime &&
                           std::abs(b.x - m_lastPressX) <= kDoubleClickDistance &&
                           std::abs(b.y - m_lastPressY) <= kDoubleClickDistance;
        m_clickCount = again ? m_clickCount + 1 : 1;
        m_lastButton = b.button;
        m_lastPressTime = b.time;
        m_lastPressX = b.x;
        m_lastPressY = b.y;
        m_pressedButton = b.button;
        m_pointerX = b.x;
        m_pointerY = b.y;
        sink.MouseDown(ViewX(b.x), ViewY(b.y), modifiers, m_clickCount, b.button == 3);
        return true;
    }
    case ButtonRelease:
    {
        const XButtonEvent& b = event.xbutton;
        if (b.button != m_pressedButton || m_pressedButton == 0)
            return true;
        m_pressedButton = 0;
        sink.MouseUp(ViewX(b.x), ViewY(b.y), Modifiers(b.state));
        return true;
    }
    case MotionNotify:
    {
        const XMotionEvent& m = event.xmotion;
        m_pointerX = m.x;
        m_pointerY = m.y;
        if (m_pressedButton != 0)
            sink.MouseDragged(ViewX(m.x), ViewY(m.y), Modifiers(m.state));
        else
            sink.MouseMoved(ViewX(m.x), ViewY(m.y));
        return true;
    }
    case KeyPress:
    {
        char text[32];
        KeySym keysym = NoSymbol;
        const int length = XLookupString(&event.xkey, text, sizeof(text), &keysym, nullptr);
        if (const unsigned char special = SpecialKey(keysym))
        {
            sink.Keypress(special);
            return true;
        }
        for (int i = 0; i < length; ++i)
            sink.Keypress(static_cast<unsigned char>(text[i]));
        return true;
    }
    case FocusOut:
        // Focus moving inside our window, or the pointer's focus, is no loss.
        if (event.xfocus.detail == NotifyInferior || event.xfocus.detail == NotifyPointer)
            return true;
        if (m_pressedButton != 0)
        {
            // The release will not come to us: the drag ends where the pointer was last seen.
            m_pressedButton = 0;
            sink.MouseUp(ViewX(m_pointerX), ViewY(m_pointerY), 0);
        }
        sink.FocusLost();
        return true;
    default:
        return false;
    }
}

} // namespace TW
