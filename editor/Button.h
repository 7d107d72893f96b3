// A push button: its action runs on mouse-up, wherever the pointer is then.
#pragma once

#include "ControlBase.h"

#include <string>

namespace TW
{

class Button : public ControlBase
{
public:
    using Callback = void (*)(Button* button, void* refcon);

    // helpId: a help text id of the manager (below -1), shown in the banner while hovered.
    Button(Manager* manager, const char* text, Callback callback, void* refcon, float x, float y,
           float width, float height, int helpId);

    void MouseUp(const Point& p, unsigned modifiers) override;
    void MouseEntered() override;
    void MouseExited() override;

    const std::string& GetText() const noexcept { return m_text; }
    int GetHelpId() const noexcept { return m_helpId; }

protected:
    std::string m_text;
    Callback m_callback;
    void* m_refcon;
    int m_helpId;
};

// A button with an on state and a type (0 push, 1 toggle), as skins name them.
class StatefulButton : public Button
{
public:
    StatefulButton(Manager* manager, const char* text, Callback callback, void* refcon, float x,
                   float y, float width, float height, int helpId, int type);

    void SetState(bool on) noexcept { m_state = on; }
    bool GetState() const noexcept { return m_state; }
    int GetType() const noexcept { return m_type; }

private:
    bool m_state = false;
    int m_type;
};

} // namespace TW
