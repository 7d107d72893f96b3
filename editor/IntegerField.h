// A text box for a whole number from 0 to a maximum, edited with the keyboard: digits, delete
// backward, and up/down to step by one. A keystroke that would make the text anything but such
// a number (a letter, a sign, a decimal point, a separator, one digit too many) is refused and
// the refusal callback runs (the window system beeps).
#pragma once

#include "ControlBase.h"

#include <mutex>

namespace TW
{

class IntegerField : public ControlBase
{
public:
    using RefusedCallback = void (*)(void* refcon);
    static constexpr int kMaxDigits = 9;

    IntegerField(Manager* manager, long maximum, float x, float y, float width, float height);

    // Main thread.
    void SetRefusedCallback(RefusedCallback callback, void* refcon);
    void SetValue(long value);
    // The number typed, -1 when the text is empty. Any thread.
    long GetValue() const;
    // The text as shown. Any thread.
    std::string GetText() const;
    // Keystrokes refused so far. Any thread.
    int GetRefusedCount() const;

    // Main thread: a click gives the field the keyboard.
    void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
    bool Keypress(unsigned char key) override;
    // Drawing thread: the box, the number right-aligned in the text-field font, a frame while
    // it has the keyboard.
    void Render() const override;

private:
    void Refuse();

    long m_maximum;
    mutable std::mutex m_lock; // the text, between the main and the drawing thread
    char m_text[24] = {};      // room for any long
    int m_refused = 0;
    RefusedCallback m_refusedCallback = nullptr;
    void* m_refusedRefcon = nullptr;
};

} // namespace TW
