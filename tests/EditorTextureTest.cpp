// Skin images: PNG decoding from memory through libpng, the texture rules (powers of two, 3 or 4
// channels of 8 bits, "_hi" variants) and the GL texture made from them off-screen.
#include "editor/PngImage.h"
#include "editor/Texture.h"
#include "platform/offscreen/OffscreenBridge.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

// A w x h image whose pixel (x, y) is (x, y, x ^ y, 255 - x, ...), `channels` bytes a pixel,
// so that every position is known.
Bytes Pattern(int w, int h, int channels)
{
    Bytes pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const std::uint8_t values[] = {
                static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                static_cast<std::uint8_t>(x ^ y), static_cast<std::uint8_t>(255 - x)};
            for (int c = 0; c < channels; ++c)
                pixels.push_back(values[c % 4]);
        }
    return pixels;
}

Bytes EncodedPattern(int w, int h, int channels, int bitDepth = 8)
{
    Bytes pixels = Pattern(w, h, channels * bitDepth / 8);
    Bytes png;
    EXPECT_TRUE(TW::PngImage::Encode(png, pixels.data(), w, h, channels, bitDepth));
    return png;
}

class TempFolder
{
public:
    TempFolder()
    {
        char name[] = "/tmp/velluna-texture-XXXXXX";
        m_path = mkdtemp(name);
    }
    ~TempFolder() { std::filesystem::remove_all(m_path); }
    std::string Write(const std::string& name, const Bytes& data) const
    {
        const std::string path = m_path + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
        return path;
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

TEST(PngImage, DecodesEveryPixelOfRgbAndRgbaImagesInFileOrder)
{
    for (int channels : {3, 4})
    {
        const Bytes png = EncodedPattern(32, 16, channels);
        TW::PngImage image;
        ASSERT_TRUE(image.Decode(png.data(), png.size()));
        EXPECT_EQ(image.Width(), 32);
        EXPECT_EQ(image.Height(), 16);
        EXPECT_EQ(image.Channels(), channels);
        EXPECT_EQ(image.BitDepth(), 8);
        EXPECT_EQ(image.Pixels(), Pattern(32, 16, channels));
    }
}

TEST(PngImage, DamagedOrTruncatedDataLeavesTheImageEmpty)
{
    const Bytes good = EncodedPattern(64, 64, 4);
    TW::PngImage image;
    ASSERT_TRUE(image.Decode(good.data(), good.size()));

    // Every truncation point before the end of the pixel data (the last 12 bytes are the end
    // chunk, whose absence costs no pixel), and a flipped byte in each place of the file:
    // libpng's error jump must come back cleanly (AddressSanitizer watches the memory), leaving
    // nothing decoded.
    for (std::size_t length = 0; length < good.size() - 12; length += 7)
    {
        std::string error;
        EXPECT_FALSE(image.Decode(good.data(), length, &error)) << length;
        EXPECT_TRUE(image.Empty());
        EXPECT_FALSE(error.empty());
    }
    int refused = 0;
    for (std::size_t at = 8; at < good.size(); at += 5)
    {
        Bytes bad = good;
        bad[at] ^= 0x5a;
        if (!image.Decode(bad.data(), bad.size()))
        {
            ++refused;
            EXPECT_TRUE(image.Empty());
        }
    }
    // Chunk CRCs catch a change anywhere in a chunk.
    EXPECT_GT(refused, static_cast<int>((good.size() - 8) / 5) * 9 / 10);

    // A few bytes announcing a chunk of nearly 2 GB are refused before any memory is taken for
    // it (the fuzzer's memory limit found this one).
    Bytes huge(good.begin(), good.begin() + 33); // signature and header chunk
    for (std::uint8_t byte : std::initializer_list<std::uint8_t>{0x74, 0x50, 0x00, 0x00, 'z', 'T',
                                                                 'X', 't', 0, 0, 0, 0})
        huge.push_back(byte);
    std::string error;
    EXPECT_FALSE(image.Decode(huge.data(), huge.size(), &error));
    EXPECT_EQ(error, "damaged PNG file: a chunk runs past the end");

    // A FIFO in an image's place is refused at once instead of waiting for a writer.
    const std::string fifo =
        std::filesystem::temp_directory_path() / ("velluna-png-fifo-" + std::to_string(getpid()));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(image.DecodeFile(fifo, &error));
    EXPECT_TRUE(image.Empty());
    std::filesystem::remove(fifo);
}

TEST(Texture, UsableImagesArePowersOfTwoWithThreeOrFourChannelsOfEightBits)
{
    auto usable = [](int w, int h, int channels, int depth)
    {
        const Bytes png = EncodedPattern(w, h, channels, depth);
        TW::PngImage image;
        EXPECT_TRUE(image.Decode(png.data(), png.size()));
        return TW::Texture::IsUsable(image);
    };
    EXPECT_TRUE(usable(128, 64, 3, 8));
    EXPECT_TRUE(usable(1, 256, 4, 8));
    EXPECT_FALSE(usable(100, 64, 4, 8));
    EXPECT_FALSE(usable(128, 96, 3, 8));
    EXPECT_FALSE(usable(128, 64, 2, 8));
    EXPECT_FALSE(usable(128, 64, 1, 8));
    EXPECT_FALSE(usable(128, 64, 4, 16));
}

TEST(Texture, PathComesFromTheSkinBundleElseThePluginBundle)
{
    TempFolder skin, plugin;
    skin.Write("a.png", EncodedPattern(4, 4, 3));
    plugin.Write("a.png", EncodedPattern(4, 4, 3));
    plugin.Write("b.png", EncodedPattern(4, 4, 3));
    EXPECT_EQ(TW::Texture("a.png", skin.Path(), plugin.Path()).GetPath(), skin.Path() + "/a.png");
    EXPECT_EQ(TW::Texture("b.png", skin.Path(), plugin.Path()).GetPath(), plugin.Path() + "/b.png");
    EXPECT_EQ(TW::Texture("b.png", "", plugin.Path()).GetPath(), plugin.Path() + "/b.png");
    EXPECT_EQ(TW::Texture("c.png", skin.Path(), plugin.Path()).GetPath(), "");
    // A folder of that name is not an image.
    std::filesystem::create_directory(skin.Path() + "/d.png");
    EXPECT_EQ(TW::Texture("d.png", skin.Path(), "").GetPath(), "");
}

TEST(Texture, HighResolutionUsesTheHiVariantAtHalfItsSize)
{
    TempFolder skin;
    skin.Write("knob.png", EncodedPattern(64, 32, 4));
    skin.Write("knob_hi.png", EncodedPattern(128, 64, 3));
    skin.Write("plain.png", EncodedPattern(16, 16, 3));
    EXPECT_EQ(TW::Texture::HighResolutionPath("/x/knob.png"), "/x/knob_hi.png");
    EXPECT_EQ(TW::Texture::HighResolutionPath(".png"), "");

    TW::PngImage image;
    bool doubleSize = true;
    TW::Texture knob("knob.png", skin.Path(), "");
    ASSERT_TRUE(knob.ReadImage(true, image, doubleSize));
    EXPECT_TRUE(doubleSize);
    EXPECT_EQ(image.Width(), 128);
    ASSERT_TRUE(knob.ReadImage(false, image, doubleSize));
    EXPECT_FALSE(doubleSize);
    EXPECT_EQ(image.Width(), 64);
    // Without a "_hi" file the image itself is used at its own size.
    TW::Texture plain("plain.png", skin.Path(), "");
    ASSERT_TRUE(plain.ReadImage(true, image, doubleSize));
    EXPECT_FALSE(doubleSize);
    EXPECT_EQ(image.Width(), 16);
}

// Draws the texture over the whole surface, nearest texel per pixel, and reads it back.
Bytes DrawTexture(TW::OffscreenBridge& bridge, const TW::Texture& texture, int& w, int& h)
{
    glViewport(0, 0, 64, 64);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    texture.Bind();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glColor4f(1, 1, 1, 1);
    // Texture row 0 (the file's first row) at the top of the picture.
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, 1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    Bytes rgba;
    EXPECT_TRUE(bridge.ReadPixels(rgba, w, h));
    return rgba;
}

TEST(Texture, LoadMakesAGLTextureOnlyOfUsableImages)
{
    TempFolder skin;
    skin.Write("good.png", EncodedPattern(64, 64, 4));
    skin.Write("odd.png", EncodedPattern(100, 64, 4));
    skin.Write("grey.png", EncodedPattern(128, 64, 2));
    Bytes corrupt = EncodedPattern(64, 64, 4);
    corrupt[corrupt.size() / 2] ^= 0xff;
    skin.Write("corrupt.png", corrupt);
    skin.Write("knob.png", EncodedPattern(32, 32, 3));
    skin.Write("knob_hi.png", EncodedPattern(64, 64, 3));

    TW::OffscreenBridge bridge(64, 64);
    ASSERT_TRUE(bridge.InitGL());

    for (const char* name : {"odd.png", "grey.png", "corrupt.png", "missing.png"})
    {
        TW::Texture texture(name, skin.Path(), "");
        texture.Load(false);
        EXPECT_TRUE(texture.WasLoadAttempted());
        EXPECT_FALSE(texture.IsLoaded()) << name;
        EXPECT_EQ(texture.GetTextureName(), 0u);
        EXPECT_EQ(texture.GetWidth(), 0);
    }

    TW::Texture good("good.png", skin.Path(), "");
    good.Load(false);
    ASSERT_TRUE(good.IsLoaded());
    EXPECT_EQ(good.GetWidth(), 64);
    int w = 0, h = 0;
    const Bytes drawn = DrawTexture(bridge, good, w, h);
    ASSERT_EQ(w, 64);
    // Each drawn pixel is the image's pixel at the same place (the alpha channel too).
    EXPECT_EQ(drawn, Pattern(64, 64, 4));

    TW::Texture knob("knob.png", skin.Path(), "");
    knob.Load(true);
    ASSERT_TRUE(knob.IsLoaded());
    EXPECT_EQ(knob.GetWidth(), 32);
    EXPECT_EQ(knob.GetHeight(), 32);
    const Bytes hi = DrawTexture(bridge, knob, w, h);
    const Bytes expected = Pattern(64, 64, 3);
    for (int i = 0; i < 64 * 64; ++i)
        ASSERT_EQ(hi[i * 4 + 0], expected[i * 3 + 0]) << i; // the 64 x 64 file was used

    // Loading runs once; Unload lets it run again.
    const unsigned name = knob.GetTextureName();
    knob.Load(true);
    EXPECT_EQ(knob.GetTextureName(), name);
    knob.Unload();
    EXPECT_FALSE(knob.IsLoaded());
    knob.Load(false);
    EXPECT_EQ(knob.GetWidth(), 32);
    knob.Unload();
    good.Unload();
    bridge.ShutdownGL();
}

} // namespace
