// The root of the editor's element tree. Every element registers itself with its manager when it
// is made and lives as long as the manager.
#pragma once

#include "Bounds.h"
#include "Point.h"

#include <atomic>

namespace TW
{

class Font;
class Group;
class Manager;

// Modifier bits of mouse events.
constexpr unsigned kModifierCommand = 0x100;
constexpr unsigned kModifierShift = 0x200;
constexpr unsigned kModifierOption = 0x800;

class UIElement
{
public:
    explicit UIElement(Manager* manager);
    virtual ~UIElement();

    UIElement(const UIElement&) = delete;
    UIElement& operator=(const UIElement&) = delete;

    // Drawing thread: poll parameter values once per frame.
    virtual void Update() {}
    // Drawing thread, GL current.
    virtual void Render() const {}
    virtual void RenderPass2() const {}
    // Any thread once the layout is done: expands b by this element's own bounds.
    virtual void ExtendBounds(Bounds& b) const { (void)b; }
    // Main thread: mouse input in design pixels.
    virtual void MouseDown(const Point& p, unsigned modifiers, int clickCount)
    {
        (void)p, (void)modifiers, (void)clickCount;
    }
    virtual void MouseDrag(const Point& p, unsigned modifiers) { (void)p, (void)modifiers; }
    virtual void MouseUp(const Point& p, unsigned modifiers) { (void)p, (void)modifiers; }
    virtual void MouseEntered() {}
    virtual void MouseExited() {}
    // The element under p (in its parent's coordinates), or null. Main thread.
    virtual UIElement* HitTest(const Point& p)
    {
        (void)p;
        return nullptr;
    }
    // Drawing thread, once every element exists and before anything is drawn.
    virtual void FinalPosition() {}
    // Drawing thread, GL current.
    virtual void InitialiseRendering() {}
    // Drawing thread: draws into the label texture.
    virtual void DrawLabel(Font* font) const { (void)font; }
    // Main thread: one key code; true when handled.
    virtual bool Keypress(unsigned char key)
    {
        (void)key;
        return false;
    }
    virtual void LostFocus() {}
    // Main thread.
    virtual void SetVisible(bool visible) { m_visible.store(visible, std::memory_order_relaxed); }

    bool IsVisible() const noexcept { return m_visible.load(std::memory_order_relaxed); }
    Manager* GetManager() const noexcept { return m_manager; }
    Group* GetParent() const noexcept { return m_parent; }
    void SetParent(Group* parent) noexcept { m_parent = parent; }

    // Own bounds moved by the offsets of every enclosing group.
    void GetWorldBounds(Bounds& b) const;
    float GetWidth() const;
    float GetHeight() const;

protected:
    Manager* m_manager;
    Group* m_parent = nullptr;
    std::atomic<bool> m_visible{true};
};

} // namespace TW
