// Many fixed texts drawn in one pass from one vertex buffer built once: the banner title, group
// titles and button texts.
#pragma once

#include "Effect.h"
#include "Font.h"

#include <atomic>
#include <deque>
#include <string>
#include <vector>

namespace TW
{

class StaticText : public Effect
{
public:
    // useLabelFont: the manager's label font, else its banner font.
    StaticText(Manager* manager, bool useLabelFont);

    // Main thread, before drawing starts. colour points to four floats owned by the caller,
    // read whenever the text is drawn. Returns the entry's index.
    int Add(const char* text, float x, float y, const float* colour);
    // Any thread.
    void SetVisible(int index, bool visible);

    void InitialiseRendering() override;
    void Render2d() override;

    int Count() const noexcept { return static_cast<int>(m_entries.size()); }
    const std::string& GetText(int index) const { return m_entries[index].text; }

private:
    Font* GetFont() const;

    struct Entry
    {
        Entry(const char* t, float ex, float ey, const float* c)
            : text(t ? t : ""), x(ex), y(ey), colour(c)
        {
        }
        std::string text;
        float x, y;
        const float* colour;
        int firstVertex = 0;
        int vertexCount = 0;
        std::atomic<bool> visible{true}; // set on the main thread, read while drawing
    };

    bool m_useLabelFont;
    std::deque<Entry> m_entries; // entries never move once made
    std::vector<FontVertex> m_vertices;
    bool m_dirty = true;
};

} // namespace TW
