// A bank of vertical sliders over consecutive parameters. Each slider answers hit tests as an
// element of its own (its region receiver), so hover tracking sees each one separately.
#pragma once

#include "MultiControl.h"

#include <memory>
#include <vector>

namespace TW
{

class MultiSlider : public MultiControl
{
public:
    static constexpr float kFineStep = 0.0005f;

    class RegionReceiver : public UIElement
    {
    public:
        RegionReceiver(MultiSlider* owner, int index);

        void ExtendBounds(Bounds& b) const override;
        void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
        void MouseDrag(const Point& p, unsigned modifiers) override;
        void MouseEntered() override { m_owner->MouseEntered(m_index); }
        void MouseExited() override { m_owner->MouseExited(m_index); }

        MultiSlider* Owner() const noexcept { return m_owner; }
        int Index() const noexcept { return m_index; }

    private:
        MultiSlider* m_owner;
        int m_index;
    };

    MultiSlider(Manager* manager, int firstParamIndex, int count, float x, float y, float width,
                float height);

    virtual void MouseEntered(int index);
    virtual void MouseExited(int index);
    using MultiControl::MouseEntered;
    using MultiControl::MouseExited;

    void Update() override;
    void Render() const override;
    UIElement* HitTest(const Point& p) override;
    void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
    void MouseDrag(const Point& p, unsigned modifiers) override;
    void FinalPosition() override;

    // The slider under p, with p's position normalised in the own or the world bounds.
    int MouseIndex(const Point& p, float& xNorm, float& yNorm, bool useOwnBounds) const;

protected:
    std::vector<std::unique_ptr<RegionReceiver>> m_receivers;
    Point m_dragStart;
    float m_dragStartValue = 0.0f;
    int m_dragIndex = 0;
};

} // namespace TW
