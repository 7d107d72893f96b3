// The panel's button: a translucent plate that brightens while hovered, its text among the
// banner font's static texts, sending a ripple when hovered and a vortex cube when pressed. Its
// action runs on mouse-up.
#pragma once

#include "Button.h"
#include "Vec.h"

#include <atomic>

namespace TW
{

class Ripples;
class Vortex;

class RippleButton : public Button
{
public:
    static constexpr Vec4 kRestColour{0.9f, 0.9f, 0.9f, 0.1f};
    static constexpr Vec4 kHoverColour{0.5f, 0.8f, 1.0f, 0.2f};
    static constexpr Vec4 kRippleColour{0.2f, 0.6f, 0.8f, 0.6f};
    // The colour of every button's text.
    static float ms_textColour[4];

    // ripples and vortex may be null (no eye candy for this button). Main thread.
    RippleButton(Manager* manager, Ripples* ripples, Vortex* vortex, const char* text,
                 Callback callback, void* refcon, float x, float y, float width, float height,
                 int helpId);

    // Main thread, when the layout is done: the text, centred in the world bounds, joins the
    // banner font's static texts.
    void FinalPosition() override;
    // Drawing thread: the plate, its colour easing toward the target.
    void Render() const override;
    // Main thread.
    void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
    void MouseEntered() override;
    void MouseExited() override;

    // The plate's colour now and the one it moves to. Drawing thread / any thread.
    const Vec4& GetCurrentColour() const noexcept { return m_current; }
    Vec4 GetTargetColour() const noexcept
    {
        return m_hovered.load(std::memory_order_relaxed) ? kHoverColour : kRestColour;
    }
    // The static text's index, -1 when the text is not shown (no banner font).
    int GetTextIndex() const noexcept { return m_textIndex; }

private:
    Ripples* m_ripples;
    Vortex* m_vortex;
    mutable Vec4 m_current = kRestColour; // drawing thread
    std::atomic<bool> m_hovered{false};   // the target: hover or rest colour
    int m_textIndex = -1;
};

} // namespace TW
