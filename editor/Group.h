// An element that positions its children by an offset.
#pragma once

#include "UIElement.h"

#include <vector>

namespace TW
{

class Group : public UIElement
{
public:
    // While true (only during hover tracking), a group's hit test may return the group itself.
    static bool ms_hitTestIncludesGroups;

    explicit Group(Manager* manager);

    // Main thread, during the layout.
    void AddChild(UIElement* element);
    void SetOffset(float x, float y, float z = 0.0f) noexcept;
    float OffsetX() const noexcept { return m_offset[0]; }
    float OffsetY() const noexcept { return m_offset[1]; }
    const std::vector<UIElement*>& Children() const noexcept { return m_children; }

    void Update() override;
    void Render() const override;
    void RenderPass2() const override;
    void ExtendBounds(Bounds& b) const override;
    UIElement* HitTest(const Point& p) override;
    void SetVisible(bool visible) override;

    // Adds the offsets of this group and all its ancestors to b.
    void TransformBounds(Bounds& b) const;

protected:
    // The children's union, moved by the offset.
    void ChildBounds(Bounds& b) const;

    float m_offset[3] = {0.0f, 0.0f, 0.0f};
    std::vector<UIElement*> m_children;
    Bounds m_ownBounds; // what the group itself answers to during hover tracking
};

} // namespace TW
