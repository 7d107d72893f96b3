#include "editor/Font.h"

#include "platform/Bundle.h"

#include <FTGL/ftgl.h>
#include <GL/gl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <strings.h>

namespace TW
{

namespace
{

// FTGL's texture fonts load their glyphs unhinted; our own face measures with the same flags so
// that measured and drawn widths agree.
constexpr FT_Int32 kLoadFlags = FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;
// Texels left empty around each glyph, so linear filtering never picks up a neighbour.
constexpr int kPadding = 2;
constexpr int kMaxTextureSide = 4096;

bool IsReadableFile(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream file(path, std::ios::binary);
    return file.good();
}

bool LooksLikeFileName(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return true;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    const std::string ext = name.substr(dot + 1);
    for (const char* known : {"ttf", "otf", "ttc", "pfa", "pfb", "dfont", "woff", "woff2"})
        if (strcasecmp(ext.c_str(), known) == 0)
            return true;
    return false;
}

std::string FindInFolder(const std::string& folder, const std::string& name)
{
    if (IsReadableFile(folder + name))
        return folder + name;
    const std::string fileName = std::filesystem::path(name).filename().string();
    std::error_code ec;
    std::filesystem::recursive_directory_iterator it(
        folder, std::filesystem::directory_options::skip_permission_denied, ec);
    if (ec)
        return {};
    for (const std::filesystem::recursive_directory_iterator end; it != end; it.increment(ec))
    {
        if (ec)
            return {};
        if (it->path().filename() == fileName && IsReadableFile(it->path().string()))
            return it->path().string();
    }
    return {};
}

// The file fontconfig has for exactly this family (its nearest substitute does not count, so
// that a list of fonts falls through to its next entry).
std::string FindFamily(const std::string& family)
{
    std::string result;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config)
        return result;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    if (pattern)
    {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult res = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &res);
        FcChar8* matchedFamily = nullptr;
        FcChar8* file = nullptr;
        FcChar8* wanted = nullptr;
        if (match && FcPatternGetString(pattern, FC_FAMILY, 0, &wanted) == FcResultMatch &&
            FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch &&
            FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
            FcStrCmpIgnoreCase(wanted, matchedFamily) == 0)
            result = reinterpret_cast<const char*>(file);
        if (match)
            FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return IsReadableFile(result) ? result : std::string();
}

} // namespace

// FTGL's texture font with our own glyph texture: every glyph FTGL asks for is packed into the
// font's one texture, and its metrics and texture corners are kept for building quads.
class Font::GlyphFont : public FTTextureFont
{
public:
    GlyphFont(Font& owner, const char* path) : FTTextureFont(path), m_owner(owner) {}

protected:
    FTGlyph* MakeGlyph(FT_GlyphSlot slot) override
    {
        const int c = m_owner.m_pendingChar;
        if (c < kFirstCachedChar || c > kLastCachedChar || m_owner.m_glyphTexture == 0)
            return nullptr;
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0)
            return nullptr;
        const int width = static_cast<int>(slot->bitmap.width);
        const int rows = static_cast<int>(slot->bitmap.rows);
        Font& f = m_owner;
        if (f.m_packX + width + kPadding > f.m_textureWidth)
        {
            f.m_packX = kPadding;
            f.m_packY += f.m_packRowHeight + kPadding;
            f.m_packRowHeight = 0;
        }
        if (f.m_packY + rows + kPadding > f.m_textureHeight)
            return nullptr;
        const int x = f.m_packX;
        const int y = f.m_packY;
        // Uploads the bitmap into our texture at (x, y) and keeps its corners.
        auto* glyph = new FTTextureGlyph(slot, static_cast<int>(f.m_glyphTexture), x, y,
                                         f.m_textureWidth, f.m_textureHeight);
        Glyph& g = f.m_glyphs[c - kFirstCachedChar];
        g.present = true;
        g.index = slot->glyph_index;
        g.advance = static_cast<float>(slot->advance.x) / 64.0f;
        g.left = static_cast<float>(slot->bitmap_left);
        g.top = static_cast<float>(slot->bitmap_top);
        g.width = static_cast<float>(width);
        g.height = static_cast<float>(rows);
        g.s0 = static_cast<float>(x) / static_cast<float>(f.m_textureWidth);
        g.t0 = static_cast<float>(y) / static_cast<float>(f.m_textureHeight);
        g.s1 = static_cast<float>(x + width) / static_cast<float>(f.m_textureWidth);
        g.t1 = static_cast<float>(y + rows) / static_cast<float>(f.m_textureHeight);
        f.m_packX += width + kPadding;
        f.m_packRowHeight = std::max(f.m_packRowHeight, rows);
        return glyph;
    }

private:
    Font& m_owner;
};

std::recursive_mutex& Font::GetLock()
{
    static std::recursive_mutex lock;
    return lock;
}

Font::Font(const std::string& path, int size) : m_path(path), m_size(size < 1 ? 1 : size)
{
    std::lock_guard<std::recursive_mutex> guard(GetLock());
    if (IsReadableFile(path) && OpenFace())
    {
        m_font = std::make_unique<GlyphFont>(*this, path.c_str());
        if (m_font->Error() != 0)
            m_font.reset();
    }
    if (!m_font)
    {
        std::fprintf(stderr, "Unable to load font %s\n", path.c_str());
        if (m_face)
            FT_Done_Face(m_face);
        m_face = nullptr;
        return;
    }
    SetFaceSize();
}

Font::~Font()
{
    std::lock_guard<std::recursive_mutex> guard(GetLock());
    m_font.reset();
    if (m_face)
        FT_Done_Face(m_face);
    if (m_library)
        FT_Done_FreeType(m_library);
}

bool Font::OpenFace()
{
    if (!m_library && FT_Init_FreeType(&m_library) != 0)
    {
        m_library = nullptr;
        return false;
    }
    if (FT_New_Face(m_library, m_path.c_str(), 0, &m_face) != 0)
    {
        m_face = nullptr;
        return false;
    }
    if (!FT_IS_SCALABLE(m_face))
    {
        FT_Done_Face(m_face);
        m_face = nullptr;
        return false;
    }
    m_hasKerning = FT_HAS_KERNING(m_face);
    return true;
}

// Sets both faces to scale x size points at 72 dpi and measures the cached characters. Lock held.
void Font::SetFaceSize()
{
    const unsigned points = static_cast<unsigned>(m_scale * m_size);
    if (m_font)
        m_font->FaceSize(points, 72);
    FT_Set_Char_Size(m_face, 0, static_cast<FT_F26Dot6>(points) * 64, 72, 72);
    for (int c = kFirstCachedChar; c <= kLastCachedChar; ++c)
    {
        Glyph& g = m_glyphs[c - kFirstCachedChar];
        g = Glyph{};
        const FT_UInt index = FT_Get_Char_Index(m_face, static_cast<FT_ULong>(c));
        if (index == 0 && c != ' ')
            continue;
        if (FT_Load_Glyph(m_face, index, kLoadFlags) != 0)
            continue;
        const FT_GlyphSlot slot = m_face->glyph;
        g.index = index;
        g.advance = static_cast<float>(slot->advance.x) / 64.0f;
        g.outlineTop = static_cast<float>(slot->metrics.horiBearingY) / 64.0f;
    }
    m_preloaded = false;
}

void Font::MakeGlyphTexture()
{
    // The smallest power-of-two texture that holds every cached glyph, packed in rows.
    int maxWidth = 0, maxRows = 0;
    for (int c = kFirstCachedChar; c <= kLastCachedChar; ++c)
    {
        if (FT_Load_Char(m_face, static_cast<FT_ULong>(c), kLoadFlags | FT_LOAD_RENDER) != 0)
            continue;
        maxWidth = std::max(maxWidth, static_cast<int>(m_face->glyph->bitmap.width));
        maxRows = std::max(maxRows, static_cast<int>(m_face->glyph->bitmap.rows));
    }
    const int count = kLastCachedChar - kFirstCachedChar + 1;
    int side = 64;
    while (side < kMaxTextureSide)
    {
        const int perRow = std::max(1, (side - kPadding) / (maxWidth + kPadding));
        const int rowsNeeded = (count + perRow - 1) / perRow;
        if (kPadding + rowsNeeded * (maxRows + kPadding) <= side)
            break;
        side *= 2;
    }
    m_textureWidth = m_textureHeight = side;
    m_packX = m_packY = kPadding;
    m_packRowHeight = 0;

    GLuint name = 0;
    glGenTextures(1, &name);
    m_glyphTexture = name;
    if (name == 0)
        return;
    const std::vector<unsigned char> zeros(static_cast<std::size_t>(side) * side, 0);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, side, side, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 zeros.data());
}

void Font::Preload(int scale)
{
    std::lock_guard<std::recursive_mutex> guard(GetLock());
    if (!m_face)
        return;
    if (!m_font)
    {
        m_font = std::make_unique<GlyphFont>(*this, m_path.c_str());
        if (m_font->Error() != 0)
        {
            m_font.reset();
            return;
        }
    }
    if (m_glyphTexture != 0)
    {
        const GLuint name = m_glyphTexture;
        glDeleteTextures(1, &name);
        m_glyphTexture = 0;
    }
    m_scale = scale < 1 ? 1 : scale;
    m_inverseScale = 1.0f / static_cast<float>(m_scale);
    SetFaceSize(); // also empties FTGL's glyph cache
    MakeGlyphTexture();
    char text[2] = {0, 0};
    for (int c = kFirstCachedChar; c <= kLastCachedChar; ++c)
    {
        m_pendingChar = c;
        text[0] = static_cast<char>(c);
        m_font->Advance(text);
    }
    m_pendingChar = -1;
    glBindTexture(GL_TEXTURE_2D, 0);
    m_preloaded = true;
}

void Font::Unload()
{
    std::lock_guard<std::recursive_mutex> guard(GetLock());
    m_font.reset();
    if (m_glyphTexture != 0)
    {
        const GLuint name = m_glyphTexture;
        glDeleteTextures(1, &name);
    }
    m_glyphTexture = 0;
    m_preloaded = false;
}

float Font::KerningLocked(unsigned left, unsigned right) const
{
    if (!m_hasKerning || left == 0 || right == 0)
        return 0.0f;
    FT_Vector kern{0, 0};
    if (FT_Get_Kerning(m_face, left, right, FT_KERNING_UNFITTED, &kern) != 0)
        return 0.0f;
    return static_cast<float>(kern.x) / 64.0f;
}

float Font::GetStringWidth(const char* text)
{
    std::lock_guard<std::recursive_mutex> guard(GetLock());
    if (!m_face || !text)
        return 0.0f;
    float width = 0.0f;
    const Glyph* previous = nullptr;
    for (const char* p = text; *p; ++p)
    {
        const int c = static_cast<unsigned char>(*p);
        if (c < kFirstCachedChar || c > kLastCachedChar)
            continue;
        const Glyph& g = m_glyphs[c - kFirstCachedChar];
        if (previous)
            width += KerningLocked(previous->index, g.index);
        width += g.advance;
        previous = &g;
    }
    return width * m_inverseScale;
}

void Font::StringSize(const char* text, float& width, float& height)
{
    std::lock_guard<std::recursive_mutex> guard(GetLock());
    width = 0.0f;
    height = 0.0f;
    if (!m_face || !text)
        return;
    for (const char* p = text; *p; ++p)
    {
        const int c = static_cast<unsigned char>(*p);
        if (c < kFirstCachedChar || c > kLastCachedChar)
            continue;
        const Glyph& g = m_glyphs[c - kFirstCachedChar];
        width += g.advance;
        height = std::max(height, g.outlineTop);
    }
    width *= m_inverseScale;
    height *= m_inverseScale;
}

float Font::GetLineHeight()
{
    std::lock_guard<std::recursive_mutex> guard(GetLock());
    return m_font ? m_font->LineHeight() * m_inverseScale : 0.0f;
}

float Font::GetDescender()
{
    std::lock_guard<std::recursive_mutex> guard(GetLock());
    return m_font ? m_font->Descender() * m_inverseScale : 0.0f;
}

int Font::DrawIntoBuffer(FontVertex* vertices, const char* text, float x, float y, float* xEnd)
{
    std::lock_guard<std::recursive_mutex> guard(GetLock());
    int count = 0;
    float penX = x;
    if (m_preloaded && text && vertices)
    {
        const float k = m_inverseScale;
        const Glyph* previous = nullptr;
        for (const char* p = text; *p; ++p)
        {
            const int c = static_cast<unsigned char>(*p);
            if (c < kFirstCachedChar || c > kLastCachedChar)
                continue;
            const Glyph& g = m_glyphs[c - kFirstCachedChar];
            if (!g.present)
                continue;
            if (previous)
                penX += KerningLocked(previous->index, g.index) * k;
            float left = penX + g.left * k;
            float top = y + g.top * k;
            if (m_scale == 1)
            {
                left = std::floor(left);
                top = std::floor(top);
            }
            const float right = left + g.width * k;
            const float bottom = top - g.height * k;
            FontVertex* v = vertices + count;
            v[0] = {g.s0, g.t0, left, top, 0.0f};
            v[1] = {g.s0, g.t1, left, bottom, 0.0f};
            v[2] = {g.s1, g.t1, right, bottom, 0.0f};
            v[3] = {g.s1, g.t0, right, top, 0.0f};
            count += 4;
            penX += g.advance * k;
            previous = &g;
        }
    }
    if (xEnd)
        *xEnd = penX;
    return count;
}

void Font::BeginDrawing()
{
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, m_glyphTexture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void Font::DrawVertices(const FontVertex* vertices, int count)
{
    if (!vertices || count <= 0)
        return;
    glInterleavedArrays(GL_T2F_V3F, sizeof(FontVertex), vertices);
    glDrawArrays(GL_QUADS, 0, count);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void Font::EndDrawing()
{
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
}

void Font::DrawFromBuffer(const FontVertex* vertices, int count)
{
    if (m_glyphTexture == 0 || count <= 0)
        return;
    BeginDrawing();
    DrawVertices(vertices, count);
    EndDrawing();
}

std::string Font::GetFontFolder(Domain domain)
{
    switch (domain)
    {
    case Domain::Local:
        return "/usr/local/share/fonts/";
    case Domain::User:
    {
        const char* data = std::getenv("XDG_DATA_HOME");
        if (data && *data == '/')
            return std::string(data) + "/fonts/";
        const char* home = std::getenv("HOME");
        return std::string(home ? home : "") + "/.local/share/fonts/";
    }
    case Domain::System:
        return "/usr/share/fonts/";
    }
    return {};
}

std::string Font::DefaultFontFile()
{
    const std::string& bundle = FindPluginBundle();
    if (bundle.empty())
        return {};
    const std::string path = bundle + "/fonts/DejaVuSans.ttf";
    return IsReadableFile(path) ? path : std::string();
}

std::string Font::FindFontFile(const std::string& name)
{
    if (name.empty())
        return {};
    if (IsReadableFile(name))
        return name;
    if (name[0] != '/')
    {
        for (Domain domain : {Domain::Local, Domain::User, Domain::System})
        {
            std::string found = FindInFolder(GetFontFolder(domain), name);
            if (!found.empty())
                return found;
        }
    }
    if (!LooksLikeFileName(name))
        return FindFamily(name);
    return {};
}

std::unique_ptr<Font> Font::Create(const std::vector<FontSpec>& list)
{
    const std::string* firstName = nullptr;
    bool reported = false;
    for (const FontSpec& spec : list)
    {
        if (spec.name.empty())
            continue;
        if (!firstName)
            firstName = &spec.name;
        const std::string path = FindFontFile(spec.name);
        if (path.empty())
            continue;
        auto font = std::make_unique<Font>(path, spec.size);
        if (font->IsLoaded())
            return font;
        reported = true; // the constructor has said so
    }
    if (firstName && !reported)
        std::fprintf(stderr, "Unable to load font %s\n", firstName->c_str());
    return nullptr;
}

} // namespace TW
