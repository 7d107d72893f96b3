// A text whose glyph quads are rebuilt only when its content or position changes (the banner's
// read-out, help texts, the tooltip).
#pragma once

#include "editor/Font.h"

#include <string>
#include <vector>

namespace TW
{

class CachedText
{
public:
    CachedText();

    // Rebuilds the quads when text, x or y differ from the stored ones; returns the x reached
    // after the text. Without a font nothing happens (the stored end x is returned). Drawing
    // thread (or any one thread at a time).
    float Update(Font* font, const char* text, float x, float y);
    // Draws the stored quads in the current colour (nothing without a font or quads). Drawing
    // thread.
    void Draw(Font* font) const;

    const std::string& GetText() const { return m_text; }
    float GetX() const { return m_x; }
    float GetY() const { return m_y; }
    float GetEndX() const { return m_endX; }
    int GetVertexCount() const { return m_vertexCount; }
    const FontVertex* GetVertices() const { return m_vertices.data(); }
    // How many times the quads have been built (for checking that unchanged texts cost nothing).
    unsigned GetBuildCount() const { return m_buildCount; }

private:
    std::string m_text;
    float m_x = 0;
    float m_y = 0;
    float m_endX = 0;
    bool m_built = false;
    int m_vertexCount = 0;
    unsigned m_buildCount = 0;
    std::vector<FontVertex> m_vertices;
};

} // namespace TW
