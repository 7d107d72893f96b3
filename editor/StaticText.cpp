#include "StaticText.h"

#include "Manager.h"

#include <GL/glew.h>

#include <cstring>

namespace TW
{

StaticText::StaticText(Manager* manager, bool useLabelFont)
    : Effect(manager), m_useLabelFont(useLabelFont)
{
}

Font* StaticText::GetFont() const
{
    return m_useLabelFont ? m_manager->GetLabelFont() : m_manager->GetBannerFont();
}

int StaticText::Add(const char* text, float x, float y, const float* colour)
{
    m_entries.emplace_back(text, x, y, colour);
    m_dirty = true;
    return static_cast<int>(m_entries.size()) - 1;
}

void StaticText::SetVisible(int index, bool visible)
{
    if (index >= 0 && index < static_cast<int>(m_entries.size()))
        m_entries[index].visible.store(visible, std::memory_order_relaxed);
}

void StaticText::InitialiseRendering()
{
    Font* font = GetFont();
    if (!font)
        return;
    std::size_t total = 0;
    for (const Entry& e : m_entries)
        total += 4 * e.text.size();
    m_vertices.assign(total, FontVertex{});
    int next = 0;
    for (Entry& e : m_entries)
    {
        e.firstVertex = next;
        e.vertexCount =
            font->DrawIntoBuffer(m_vertices.data() + next, e.text.c_str(), e.x, e.y, nullptr);
        next += e.vertexCount;
    }
    m_dirty = false;
}

void StaticText::Render2d()
{
    Font* font = GetFont();
    if (m_entries.empty() || !font)
        return;
    if (m_dirty)
        InitialiseRendering();
    font->BeginDrawing();
    for (const Entry& e : m_entries)
    {
        if (!e.visible.load(std::memory_order_relaxed) || e.vertexCount == 0)
            continue;
        if (e.colour)
            glColor4fv(e.colour);
        Font::DrawVertices(m_vertices.data() + e.firstVertex, e.vertexCount);
    }
    glDisable(GL_TEXTURE_2D);
}

} // namespace TW
