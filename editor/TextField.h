// A numeric entry box for one parameter. Typed text is committed with return or enter; the
// arrow keys commit it and then step the value by the last shown digit.
#pragma once

#include "Control.h"

#include <mutex>
#include <string>

namespace TW
{

class TextField : public Control
{
public:
    static constexpr int kMaxTypedChars = 31; // the text buffer holds 32 bytes

    // format: a printf format for the value, used when the formatted value does not begin with
    // a letter; empty for the manager's own formatting. Main thread.
    TextField(Manager* manager, int paramIndex, float x, float y, float width, float height,
              const char* format);

    void Render() const override;
    virtual void DoRender() const;
    void MouseDown(const Point& p, unsigned modifiers, int clickCount) override;
    bool Keypress(unsigned char key) override;
    void LostFocus() override;

    // The text shown (typed or formatted). Any thread.
    std::string GetText() const;
    bool IsEditing() const;

    void SetBackgroundColour(float r, float g, float b) noexcept;
    void SetActiveColour(float r, float g, float b) noexcept;
    void SetChangedColour(float r, float g, float b) noexcept;
    void SetTextColour(float r, float g, float b) noexcept;

private:
    // Writes the value inside a gesture and shows the parameter's text again. Main thread.
    void Commit(float value);
    // Parses the typed text and commits it when it holds a number. Main thread.
    void CommitTyped();
    float Increment() const;
    // Drawing thread, under m_lock: the text of the current value.
    void RefreshText(float value) const;

    std::string m_format;
    mutable std::mutex m_lock; // the text is typed on the main thread, drawn on the drawing one
    mutable char m_text[kMaxTypedChars + 1] = {};
    mutable float m_textWidth = 0.0f;
    mutable float m_lastShown;
    mutable bool m_refresh = true;
    int m_cursor = -1; // typed characters while editing, -1 when not editing
    float m_background[3] = {0.8f, 0.8f, 0.85f};
    float m_active[3] = {0.8f, 1.0f, 0.8f};
    float m_changed[3] = {1.0f, 0.8f, 0.8f};
    float m_textColour[3] = {0.1f, 0.1f, 0.1f};
};

} // namespace TW
