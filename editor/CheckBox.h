// A check box for a process-wide switch: a square that shows the switch's current state every
// frame (so a change made elsewhere shows too) and runs its action when clicked. Its caption is
// one of the label font's static texts, right of the square.
#pragma once

#include "ControlBase.h"

#include <atomic>
#include <string>

namespace TW
{

class CheckBox : public ControlBase
{
public:
    // Called after the switch has been flipped. Main thread.
    using Callback = void (*)(CheckBox* box, void* refcon);

    static float ms_captionColour[4];

    // value: the switch, read every frame and flipped by a click; it must outlive the box. The
    // square is size x size at (x, y); the caption starts 8 pixels right of it. Main thread.
    CheckBox(Manager* manager, const char* caption, bool* value, Callback callback, void* refcon,
             float x, float y, float size);

    // Main thread, when the layout is done: the caption joins the static texts.
    void FinalPosition() override;
    // Drawing thread.
    void Render() const override;
    // Main thread: a press and a release over the box flip the switch; releasing elsewhere does
    // nothing.
    void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
    void MouseUp(const Point& p, unsigned modifiers) override;

    bool IsChecked() const noexcept { return *m_value; }
    const std::string& GetCaption() const noexcept { return m_caption; }

private:
    std::string m_caption;
    bool* m_value;
    Callback m_callback;
    void* m_refcon;
    std::atomic<bool> m_pressed{false}; // set by the main thread, shown by the drawing thread
};

} // namespace TW
