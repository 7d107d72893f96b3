// A text on a filled rectangle, drawn once into the label texture with the label font.
#pragma once

#include "ControlBase.h"

#include <string>

namespace TW
{

class Label : public ControlBase
{
public:
    enum Justification
    {
        kCentred = 0,
        kLeft = 1,
        kRight = 2,
    };

    // width or height 0: fit the text (y is then the label's top). Main thread.
    Label(Manager* manager, const char* text, int justification, float x, float y, float width,
          float height);

    void DrawLabel(Font* font) const override;

    void SetBackgroundColour(float r, float g, float b, float a) noexcept;
    void SetForegroundColour(float r, float g, float b, float a) noexcept;
    const std::string& GetText() const noexcept { return m_text; }

private:
    std::string m_text;
    float m_insetX = 3.0f, m_insetY = 3.0f;
    float m_background[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float m_foreground[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};

} // namespace TW
