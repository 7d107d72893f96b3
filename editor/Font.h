// A glyph-texture font: an FTGL texture font over FreeType whose glyphs for the printable ASCII
// characters are cached in one GL texture, measured and drawn as textured quads from vertex
// buffers built ahead of drawing.
//
// Fonts are measured on the main thread (layout) and drawn on drawing threads, so every operation
// that touches a glyph cache runs under one process-wide lock (GetLock).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FTFont;
struct FT_FaceRec_;
struct FT_LibraryRec_;

namespace TW
{

// One corner of a glyph quad, laid out as GL_T2F_V3F: texture s, t, then position x, y, z.
struct FontVertex
{
    float s;
    float t;
    float x;
    float y;
    float z;
};

class Font
{
public:
    struct FontSpec
    {
        std::string name; // a file path, a file name in a fonts folder, or a family name
        int size;         // points
    };

    // The fonts folders of the three domains, each with a trailing "/".
    enum class Domain
    {
        Local,  // /usr/local/share/fonts/
        User,   // $XDG_DATA_HOME/fonts/ (default ~/.local/share/fonts/)
        System, // /usr/share/fonts/
    };

    // Opens the file as a texture font of `size` points. On failure writes "Unable to load font"
    // with the path to standard error and keeps no glyph font (IsLoaded is false; texts using it
    // are not drawn and measure 0). Main thread.
    Font(const std::string& path, int size);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // The first spec, in order, whose name resolves to a font file that loads (see FindFontFile);
    // null when none does. Main thread.
    static std::unique_ptr<Font> Create(const std::vector<FontSpec>& list);
    // The path of a readable font file for `name`: the name itself when it is a readable file,
    // else a file of that name found (recursively) in the fonts folder of the local, the user and
    // the system domain in that order, else, for a name that is not a file name, the file
    // fontconfig gives for that family. Empty when none. Main thread.
    static std::string FindFontFile(const std::string& name);
    // The domain's fonts folder with a trailing "/". Any thread.
    static std::string GetFontFolder(Domain domain);
    // The default face shipped in the plug-in's resources ("fonts/DejaVuSans.ttf"); empty when
    // the bundle has none. Any thread.
    static std::string DefaultFontFile();

    // The lock around every glyph-cache operation of every font. Any thread.
    static std::recursive_mutex& GetLock();

    bool IsLoaded() const { return m_font != nullptr; }
    const std::string& GetPath() const { return m_path; }
    int GetSize() const { return m_size; }
    int GetScale() const { return m_scale; }
    float GetInverseScale() const { return m_inverseScale; }

    // Drawing thread, GL current: sets the scale (2 on a surface with twice the design
    // resolution), the face size to scale x size points at 72 dpi, and caches the glyphs of the
    // characters 32 to 126 in one texture. Loads the font again after Unload.
    void Preload(int scale);
    // Drawing thread, GL current: destroys the glyph font and its texture.
    void Unload();

    // Width of the text in design pixels (the glyph advances). Any thread.
    float GetStringWidth(const char* text);
    // Width (sum of the advances) and height (highest top of any outline) of the text in design
    // pixels. Any thread.
    void StringSize(const char* text, float& width, float& height);
    // Line height and descender (negative, below the baseline) in design pixels. Any thread.
    float GetLineHeight();
    float GetDescender();

    // Writes four vertices per drawable character (top-left, bottom-left, bottom-right,
    // top-right) for the text with its pen starting at (x, y), and returns the vertex count;
    // `vertices` must hold 4 x strlen(text). The pen's end x goes to *xEnd when given.
    // Characters outside the cached range are skipped. Any thread, after Preload.
    int DrawIntoBuffer(FontVertex* vertices, const char* text, float x, float y, float* xEnd);
    // Drawing thread: draws `count` vertices made by DrawIntoBuffer with the glyph texture, alpha
    // test and blending, and turns all three off again.
    void DrawFromBuffer(const FontVertex* vertices, int count);
    // Drawing thread: binds the glyph texture and enables texturing, alpha test (> 0) and
    // blending (source alpha, one minus source alpha), for drawing many buffers in a row.
    void BeginDrawing();
    // Drawing thread: draws vertices between BeginDrawing and EndDrawing.
    static void DrawVertices(const FontVertex* vertices, int count);
    // Drawing thread: texturing, alpha test and blending off.
    static void EndDrawing();

    // The GL name of the glyph texture (0 before Preload) and its size in texels.
    unsigned GetGlyphTexture() const { return m_glyphTexture; }
    int GetGlyphTextureWidth() const { return m_textureWidth; }
    int GetGlyphTextureHeight() const { return m_textureHeight; }

    static constexpr int kFirstCachedChar = 32;
    static constexpr int kLastCachedChar = 126;

private:
    struct Glyph
    {
        bool present = false;
        unsigned index = 0;          // FreeType glyph index
        float advance = 0;           // device pixels
        float outlineTop = 0;        // highest point of the outline above the baseline
        float left = 0, top = 0;     // bitmap corner offset from the pen, device pixels
        float width = 0, height = 0; // bitmap size, device pixels
        float s0 = 0, t0 = 0, s1 = 0, t1 = 0;
    };
    class GlyphFont;
    friend class GlyphFont;

    bool OpenFace();
    void SetFaceSize();
    void MakeGlyphTexture();
    float KerningLocked(unsigned left, unsigned right) const;

    std::string m_path;
    int m_size;
    int m_scale = 1;
    float m_inverseScale = 1.0f;
    std::unique_ptr<GlyphFont> m_font;
    // A FreeType face of our own for measuring on any thread without touching GL.
    FT_LibraryRec_* m_library = nullptr;
    FT_FaceRec_* m_face = nullptr;
    bool m_hasKerning = false;
    Glyph m_glyphs[kLastCachedChar - kFirstCachedChar + 1];
    bool m_preloaded = false;
    unsigned m_glyphTexture = 0;
    int m_textureWidth = 0;
    int m_textureHeight = 0;
    int m_packX = 0, m_packY = 0, m_packRowHeight = 0;
    int m_pendingChar = -1;
};

} // namespace TW
