// A group drawn with a frame and a title; the frame lights up while the pointer is over it.
#pragma once

#include "Group.h"

#include <atomic>
#include <string>

namespace TW
{

class NamedGroup : public Group
{
public:
    // Frame colours (r, g, b, a); the skin may change them before the editor opens.
    static float ms_activeTargetColour[4];
    static float ms_inactiveTargetColour[4];

    // Margins: top, bottom, left, right. Main thread.
    NamedGroup(Manager* manager, const char* name, const float margins[4]);

    void ExtendBounds(Bounds& b) const override;
    void FinalPosition() override;
    void Render() const override;
    void MouseEntered() override;
    void MouseExited() override;
    void SetVisible(bool visible) override;

    // Whether the frame is heading for the active colour. Any thread.
    bool IsLit() const noexcept
    {
        return m_target.load(std::memory_order_relaxed) == ms_activeTargetColour;
    }
    const std::string& Name() const noexcept { return m_name; }

private:
    std::string m_name;
    float m_margins[4]; // top, bottom, left, right
    std::atomic<const float*> m_target{ms_inactiveTargetColour};
    mutable float m_colour[4]; // the frame's current colour; drawing thread only
    float m_frame[6][2] = {};
    int m_textIndex = -1;
};

} // namespace TW
