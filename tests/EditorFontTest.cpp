// Fonts: lookup through files, fonts folders and fontconfig, and glyph quads checked against
// FreeType itself, both as numbers and as the pixels they draw off-screen; cached texts.
#include "editor/CachedText.h"
#include "editor/Font.h"
#include "platform/offscreen/OffscreenBridge.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

const std::string kFace = std::string(VELLUNA_SOURCE_DIR) + "/resources/fonts/DejaVuSans.ttf";

// FreeType's own view of a glyph, rendered the way texture fonts load them (unhinted).
struct Reference
{
    float advance, left, top;
    int width, rows;
    float outlineTop;
    std::vector<unsigned char> bitmap;
};

class FreeTypeReference
{
public:
    explicit FreeTypeReference(int pixels)
    {
        EXPECT_EQ(FT_Init_FreeType(&m_library), 0);
        EXPECT_EQ(FT_New_Face(m_library, kFace.c_str(), 0, &m_face), 0);
        FT_Set_Char_Size(m_face, 0, pixels * 64, 72, 72);
    }
    ~FreeTypeReference()
    {
        FT_Done_Face(m_face);
        FT_Done_FreeType(m_library);
    }
    // The kerning between two characters, unfitted, as texture fonts apply it.
    float Kerning(char left, char right)
    {
        FT_Vector kern{0, 0};
        FT_Get_Kerning(m_face, FT_Get_Char_Index(m_face, static_cast<unsigned char>(left)),
                       FT_Get_Char_Index(m_face, static_cast<unsigned char>(right)),
                       FT_KERNING_UNFITTED, &kern);
        return static_cast<float>(kern.x) / 64.0f;
    }
    Reference Glyph(char c)
    {
        EXPECT_EQ(FT_Load_Char(m_face, static_cast<unsigned char>(c),
                               FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | FT_LOAD_RENDER),
                  0);
        const FT_GlyphSlot g = m_face->glyph;
        Reference r{static_cast<float>(g->advance.x) / 64.0f,
                    static_cast<float>(g->bitmap_left),
                    static_cast<float>(g->bitmap_top),
                    static_cast<int>(g->bitmap.width),
                    static_cast<int>(g->bitmap.rows),
                    static_cast<float>(g->metrics.horiBearingY) / 64.0f,
                    {}};
        for (int row = 0; row < r.rows; ++row)
            for (int col = 0; col < r.width; ++col)
                r.bitmap.push_back(g->bitmap.buffer[row * g->bitmap.pitch + col]);
        return r;
    }

private:
    FT_Library m_library = nullptr;
    FT_Face m_face = nullptr;
};

class TempFolder
{
public:
    TempFolder()
    {
        char name[] = "/tmp/velluna-font-XXXXXX";
        m_path = mkdtemp(name);
    }
    ~TempFolder() { std::filesystem::remove_all(m_path); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

TEST(Font, ListFallsThroughToTheFirstEntryThatLoads)
{
    TempFolder folder;
    const std::string notAFont = folder.Path() + "/broken.ttf";
    std::ofstream(notAFont) << "not a font";

    testing::internal::CaptureStderr();
    auto font = TW::Font::Create({{"", 10},
                                  {"NoSuchFace-Velluna.ttf", 10},
                                  {notAFont, 11},
                                  {"No Such Family Velluna", 12},
                                  {kFace, 13},
                                  {"/never/reached.ttf", 14}});
    const std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(font);
    EXPECT_EQ(font->GetPath(), kFace);
    EXPECT_EQ(font->GetSize(), 13);
    // The file that exists but is no font is reported, once, by name.
    EXPECT_EQ(errors, "Unable to load font " + notAFont + "\n");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(TW::Font::Create({{"NoSuchFace-Velluna.ttf", 10}}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Unable to load font NoSuchFace-Velluna.ttf\n");

    // A family that fontconfig does not have is not replaced by its nearest substitute.
    EXPECT_EQ(TW::Font::FindFontFile("No Such Family Velluna"), "");
}

TEST(Font, FindsFilesInTheUserFontsFolderRecursively)
{
    TempFolder data;
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    EXPECT_EQ(TW::Font::GetFontFolder(TW::Font::Domain::User), data.Path() + "/fonts/");
    std::filesystem::create_directories(data.Path() + "/fonts/deep/er");
    const std::string copy = data.Path() + "/fonts/deep/er/VellunaTestFace.ttf";
    std::filesystem::copy_file(kFace, copy);
    EXPECT_EQ(TW::Font::FindFontFile("VellunaTestFace.ttf"), copy);
    auto font = TW::Font::Create({{"VellunaTestFace.ttf", 12}});
    ASSERT_TRUE(font);
    EXPECT_EQ(font->GetPath(), copy);
    if (saved)
        setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

TEST(Font, MeasuresLikeFreeTypeAtEveryScale)
{
    TW::Font font(kFace, 14);
    ASSERT_TRUE(font.IsLoaded());
    const char* text = "Volume -3.25 dB";
    for (int scale : {1, 2})
    {
        FreeTypeReference ft(14 * scale);
        TW::OffscreenBridge bridge(64, 64);
        ASSERT_TRUE(bridge.InitGL());
        font.Preload(scale);
        float width = 0, height = 0, advance = 0, top = 0, kerning = 0;
        for (const char* p = text; *p; ++p)
        {
            const Reference r = ft.Glyph(*p);
            advance += r.advance;
            top = std::max(top, r.outlineTop);
            if (p[1])
                kerning += ft.Kerning(p[0], p[1]);
        }
        ASSERT_NE(kerning, 0.0f); // "Vo" is a kerned pair: the test sees kerning at work
        // The size is the plain sum of advances; the width as drawn includes the kerning.
        font.StringSize(text, width, height);
        EXPECT_FLOAT_EQ(width, advance / scale);
        EXPECT_FLOAT_EQ(height, top / scale);
        EXPECT_FLOAT_EQ(font.GetStringWidth(text), (advance + kerning) / scale);
        font.Unload();
        bridge.ShutdownGL();
    }
}

TEST(Font, GlyphQuadsAreFreeTypesBitmapsAtThePenPosition)
{
    TW::Font font(kFace, 12);
    ASSERT_TRUE(font.IsLoaded());
    const std::string text = "AVg~ {q}\x7f\xc3";
    for (int scale : {1, 2})
    {
        TW::OffscreenBridge bridge(64, 64);
        ASSERT_TRUE(bridge.InitGL());
        font.Preload(scale);
        FreeTypeReference ft(12 * scale);
        std::vector<TW::FontVertex> v(4 * text.size());
        float end = 0;
        const float x0 = 10.3f, y0 = 20.6f;
        const int count = font.DrawIntoBuffer(v.data(), text.c_str(), x0, y0, &end);
        // The two characters outside 32..126 are skipped.
        ASSERT_EQ(count, 4 * 8);
        float pen = x0;
        const float k = 1.0f / static_cast<float>(scale);
        for (int i = 0; i < 8; ++i)
        {
            if (i > 0)
                pen += ft.Kerning(text[static_cast<std::size_t>(i - 1)],
                                  text[static_cast<std::size_t>(i)]) *
                       k;
            const Reference r = ft.Glyph(text[static_cast<std::size_t>(i)]);
            float left = pen + r.left * k, top = y0 + r.top * k;
            if (scale == 1)
            {
                left = std::floor(left);
                top = std::floor(top);
            }
            const TW::FontVertex* q = &v[static_cast<std::size_t>(4 * i)];
            EXPECT_FLOAT_EQ(q[0].x, left) << i;
            EXPECT_FLOAT_EQ(q[0].y, top) << i;
            EXPECT_FLOAT_EQ(q[1].x, left);
            EXPECT_FLOAT_EQ(q[1].y, top - r.rows * k);
            EXPECT_FLOAT_EQ(q[2].x, left + r.width * k);
            EXPECT_FLOAT_EQ(q[2].y, top - r.rows * k);
            EXPECT_FLOAT_EQ(q[3].x, left + r.width * k);
            EXPECT_FLOAT_EQ(q[3].y, top);
            // Texture corners span exactly the glyph's texels.
            const float texW = static_cast<float>(font.GetGlyphTextureWidth());
            const float texH = static_cast<float>(font.GetGlyphTextureHeight());
            EXPECT_NEAR((q[3].s - q[0].s) * texW, r.width, 1e-3);
            EXPECT_NEAR((q[1].t - q[0].t) * texH, r.rows, 1e-3);
            for (int corner = 0; corner < 4; ++corner)
                EXPECT_EQ(q[corner].z, 0.0f);
            pen += r.advance * k;
        }
        EXPECT_FLOAT_EQ(end, pen);
        font.Unload();
        bridge.ShutdownGL();
    }
}

TEST(Font, DrawnTextShowsFreeTypesCoverageInEveryPixel)
{
    constexpr int kSize = 96;
    TW::OffscreenBridge bridge(kSize, kSize);
    ASSERT_TRUE(bridge.InitGL());
    TW::Font font(kFace, 30);
    font.Preload(1);
    ASSERT_NE(font.GetGlyphTexture(), 0u);

    glViewport(0, 0, kSize, kSize);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kSize, 0, kSize, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
    TW::CachedText text;
    text.Update(&font, "&@", 8, 40);
    text.Draw(&font);
    std::vector<std::uint8_t> rgba;
    int w = 0, h = 0;
    ASSERT_TRUE(bridge.ReadPixels(rgba, w, h));

    // Expected picture: FreeType's bitmaps placed at the quads' corners, coverage blended over
    // black (the alpha test drops zero coverage, which leaves black anyway).
    std::vector<int> expected(static_cast<std::size_t>(kSize * kSize), 0);
    FreeTypeReference ft(30);
    const TW::FontVertex* q = text.GetVertices();
    for (int i = 0; i < 2; ++i, q += 4)
    {
        const Reference r = ft.Glyph("&@"[i]);
        const int left = static_cast<int>(q[0].x);
        const int topRow = kSize - static_cast<int>(q[0].y); // rows of the picture from the top
        for (int row = 0; row < r.rows; ++row)
            for (int col = 0; col < r.width; ++col)
                expected[static_cast<std::size_t>((topRow + row) * kSize + left + col)] =
                    r.bitmap[static_cast<std::size_t>(row * r.width + col)];
    }
    int worst = 0, lit = 0;
    for (int i = 0; i < kSize * kSize; ++i)
    {
        worst = std::max(worst, std::abs(rgba[static_cast<std::size_t>(i) * 4] -
                                         expected[static_cast<std::size_t>(i)]));
        lit += expected[static_cast<std::size_t>(i)] > 0;
    }
    EXPECT_GT(lit, 200);
    EXPECT_LE(worst, 2);
    font.Unload();
    bridge.ShutdownGL();
}

TEST(CachedText, RebuildsOnlyWhenTextOrPositionChange)
{
    TW::OffscreenBridge bridge(32, 32);
    ASSERT_TRUE(bridge.InitGL());
    TW::Font font(kFace, 12);
    font.Preload(1);
    TW::CachedText text;
    EXPECT_EQ(text.Update(nullptr, "abc", 1, 2), 0.0f);
    EXPECT_EQ(text.GetBuildCount(), 0u);

    const float end = text.Update(&font, "0.525", 5, 6);
    EXPECT_EQ(text.GetBuildCount(), 1u);
    EXPECT_FLOAT_EQ(end, 5 + font.GetStringWidth("0.525"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(text.Update(&font, "0.525", 5, 6), end);
    EXPECT_EQ(text.GetBuildCount(), 1u);

    text.Update(&font, "0.526", 5, 6);
    text.Update(&font, "0.526", 7, 6);
    text.Update(&font, "0.526", 7, 8);
    EXPECT_EQ(text.GetBuildCount(), 4u);
    std::vector<TW::FontVertex> direct(4 * 5);
    ASSERT_EQ(font.DrawIntoBuffer(direct.data(), "0.526", 7, 8, nullptr), text.GetVertexCount());
    for (int i = 0; i < text.GetVertexCount(); ++i)
    {
        EXPECT_EQ(direct[static_cast<std::size_t>(i)].x, text.GetVertices()[i].x);
        EXPECT_EQ(direct[static_cast<std::size_t>(i)].t, text.GetVertices()[i].t);
    }
    font.Unload();
    bridge.ShutdownGL();
}

} // namespace
