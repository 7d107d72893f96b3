// Turns the X events of one editor window into X11InputSink calls: button 1 and 3 presses with
// click counts, drags while a button is held, motion, wheel buttons 4 to 7, keys, focus loss.
#pragma once

#include "platform/x11/X11InputSink.h"

// Xlib's event; its header stays out of ours (its macros would clash with other code).
union _XEvent;

namespace TW
{

class X11EventTranslator
{
public:
    // Two presses of the same button at most this far apart in time and space make a double
    // click (the time GTK uses by default).
    static constexpr unsigned long kDoubleClickMilliseconds = 400;
    static constexpr int kDoubleClickDistance = 4;

    // The window's height in device pixels (y is flipped against it) and device pixels per view
    // point. Main thread, like every call here.
    void SetWindowHeight(int pixels) { m_heightPixels = pixels; }
    void SetScale(int scale) { m_scale = scale < 1 ? 1 : scale; }
    // Double clicks faster than the default, from the X resource "multiClickTime".
    void SetDoubleClickTime(unsigned long milliseconds) { m_doubleClickTime = milliseconds; }

    // Handles one event; false when it is none of the input events above.
    bool Translate(_XEvent& event, X11InputSink& sink);

    // The modifier word of an X state mask.
    static unsigned Modifiers(unsigned state);
    // The key code for a key symbol that is not text (0 when it is text or unknown).
    static unsigned char SpecialKey(unsigned long keysym);

private:
    float ViewX(int x) const { return static_cast<float>(x) / static_cast<float>(m_scale); }
    float ViewY(int y) const
    {
        return static_cast<float>(m_heightPixels - y) / static_cast<float>(m_scale);
    }

    int m_heightPixels = 1;
    int m_scale = 1;
    unsigned long m_doubleClickTime = kDoubleClickMilliseconds;
    unsigned m_pressedButton = 0; // 1 or 3 while held
    unsigned m_lastButton = 0;
    unsigned long m_lastPressTime = 0;
    int m_lastPressX = 0, m_lastPressY = 0;
    int m_clickCount = 0;
    int m_pointerX = 0, m_pointerY = 0; // last press or motion, device pixels
};

} // namespace TW
