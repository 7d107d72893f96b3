#include "editor/CachedText.h"

#include <cstring>

namespace TW
{

namespace
{
// Room for the longest read-out and most help texts, so that a changing text rarely allocates.
constexpr std::size_t kReservedCharacters = 128;
} // namespace

CachedText::CachedText()
{
    m_text.reserve(kReservedCharacters);
    m_vertices.reserve(4 * kReservedCharacters);
}

float CachedText::Update(Font* font, const char* text, float x, float y)
{
    if (!font || !text)
        return m_endX;
    if (m_built && x == m_x && y == m_y && m_text == text)
        return m_endX;
    m_text.assign(text);
    m_x = x;
    m_y = y;
    const std::size_t needed = 4 * m_text.size();
    if (m_vertices.size() < needed)
        m_vertices.resize(needed);
    m_vertexCount = font->DrawIntoBuffer(m_vertices.data(), m_text.c_str(), x, y, &m_endX);
    m_built = true;
    ++m_buildCount;
    return m_endX;
}

void CachedText::Draw(Font* font) const
{
    if (!font || m_vertexCount <= 0)
        return;
    font->DrawFromBuffer(m_vertices.data(), m_vertexCount);
}

} // namespace TW
