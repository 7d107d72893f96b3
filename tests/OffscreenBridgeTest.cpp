// The off-screen bridge: GL drawing into memory without an X server, GLEW's entry points
// reaching OSMesa (framebuffer objects), the label surface, frames kept for other threads, PNG
// snapshots, sizes and the device-pixel scale.
#include <GL/glew.h>

#include "editor/GLExtensions.h"
#include "editor/PngImage.h"
#include "platform/offscreen/OffscreenBridge.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

const std::uint8_t* Pixel(const Bytes& rgba, int width, int x, int row)
{
    return &rgba[static_cast<std::size_t>((row * width + x) * 4)];
}

// Clears to blue and paints the upper-left quarter red, in a projection of one unit per pixel.
void DrawQuarter(int width, int height)
{
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1, 0, 0);
    glRectf(0, static_cast<float>(height) / 2, static_cast<float>(width) / 2,
            static_cast<float>(height));
}

TEST(OffscreenBridge, DrawsIntoMemoryWithRowsFromTheTop)
{
    TW::OffscreenBridge bridge(40, 20);
    bridge.SetDevicePixelScale(1);
    bridge.SetSurfaceSize(40, 20);
    ASSERT_TRUE(bridge.InitGL());
    ASSERT_TRUE(TW::InitGLExtensions());
    DrawQuarter(40, 20);
    Bytes rgba;
    int w = 0, h = 0;
    ASSERT_TRUE(bridge.ReadPixels(rgba, w, h));
    ASSERT_EQ(w, 40);
    ASSERT_EQ(h, 20);
    EXPECT_EQ(Pixel(rgba, w, 0, 0)[0], 255);   // top left: red
    EXPECT_EQ(Pixel(rgba, w, 19, 9)[0], 255);  // last red pixel
    EXPECT_EQ(Pixel(rgba, w, 20, 9)[2], 255);  // right of it: blue
    EXPECT_EQ(Pixel(rgba, w, 19, 10)[2], 255); // below it: blue
    EXPECT_EQ(Pixel(rgba, w, 39, 19)[3], 255);

    // A resize takes effect at RenderTaskHandleResize, on the drawing thread.
    bridge.SetSurfaceSize(64, 32);
    bridge.RenderTaskHandleResize();
    DrawQuarter(64, 32);
    ASSERT_TRUE(bridge.ReadPixels(rgba, w, h));
    ASSERT_EQ(w, 64);
    EXPECT_EQ(Pixel(rgba, w, 31, 15)[0], 255);
    EXPECT_EQ(Pixel(rgba, w, 32, 15)[0], 0);
    bridge.ShutdownGL();
    EXPECT_FALSE(bridge.MakeCurrent());
}

TEST(OffscreenBridge, GlewEntryPointsReachOSMesaAndFramebuffersDraw)
{
    TW::OffscreenBridge bridge(32, 32);
    ASSERT_TRUE(bridge.InitGL());
    ASSERT_TRUE(TW::InitGLExtensions());
    ASSERT_TRUE(TW::HasFramebufferObjects());
    ASSERT_TRUE(GLEW_ARB_vertex_program);

    // A texture drawn through a framebuffer object, then read back: the GLEW function pointers
    // must be OSMesa's for any of this to reach the texture.
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffersEXT(1, &framebuffer);
    ASSERT_NE(framebuffer, 0u);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture,
                              0);
    ASSERT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), GLenum(GL_FRAMEBUFFER_COMPLETE_EXT));
    glViewport(0, 0, 16, 16);
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    Bytes texels(16 * 16 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_NEAR(texels[0], 64, 1);
    EXPECT_NEAR(texels[1], 128, 1);
    EXPECT_NEAR(texels[2], 191, 1);
    glDeleteFramebuffersEXT(1, &framebuffer);
    glDeleteTextures(1, &texture);
    bridge.ShutdownGL();
}

TEST(OffscreenBridge, LabelSurfaceSharesTexturesAndKeepsBgraRowsFromTheTop)
{
    TW::OffscreenBridge bridge(32, 32);
    ASSERT_TRUE(bridge.InitGL());
    EXPECT_EQ(bridge.OffscreenPixels(), nullptr);
    // A texture made in the window's context, drawn on the label surface.
    const std::uint8_t green[4] = {0, 255, 0, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, green);

    bridge.InitGLOffscreen(48, 24);
    ASSERT_EQ(bridge.OffscreenWidth(), 48);
    bridge.MakeOffscreenCurrent();
    DrawQuarter(48, 24); // red upper-left quarter on blue
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glColor3f(1, 1, 1);
    glRectf(40, 0, 48, 4); // bottom-right corner, textured green
    glDisable(GL_TEXTURE_2D);
    ASSERT_TRUE(bridge.MakeCurrent());
    const std::uint8_t* bgra = bridge.OffscreenPixels();
    ASSERT_NE(bgra, nullptr);
    auto at = [&](int x, int row) { return bgra + (row * 48 + x) * 4; };
    EXPECT_EQ(at(0, 0)[2], 255); // top left red: R is the third byte
    EXPECT_EQ(at(0, 0)[0], 0);
    EXPECT_EQ(at(30, 0)[0], 255);  // blue is the first byte
    EXPECT_EQ(at(47, 23)[1], 255); // green from the shared texture at the bottom right
    EXPECT_EQ(at(47, 23)[2], 0);
    EXPECT_EQ(at(47, 23)[3], 255);
    glDeleteTextures(1, &texture);
    bridge.ShutdownGL();
}

TEST(OffscreenBridge, FramesAreKeptForOtherThreadsAndWrittenAsPng)
{
    TW::OffscreenBridge bridge(30, 10);
    bridge.SetDevicePixelScale(1);
    bridge.SetSurfaceSize(30, 10);
    Bytes rgba;
    int w = 0, h = 0;
    EXPECT_FALSE(bridge.CopyLastFrame(rgba, w, h));
    std::string error;
    EXPECT_FALSE(bridge.WriteLastFramePng("/nonexistent/x.png", &error));
    EXPECT_EQ(error, "no frame has been drawn");

    std::thread drawing(
        [&]
        {
            ASSERT_TRUE(bridge.InitGL());
            for (int frame = 0; frame < 3; ++frame)
            {
                DrawQuarter(30, 10);
                bridge.SwapBuffers();
            }
            bridge.ShutdownGL();
        });
    EXPECT_TRUE(bridge.WaitForFrames(3, 10000));
    drawing.join();
    EXPECT_EQ(bridge.GetFrameCount(), 3u);
    EXPECT_FALSE(bridge.WaitForFrames(4, 10));
    ASSERT_TRUE(bridge.CopyLastFrame(rgba, w, h));
    EXPECT_EQ(Pixel(rgba, w, 0, 0)[0], 255);

    char folder[] = "/tmp/velluna-offscreen-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::string path = std::string(folder) + "/frame.png";
    ASSERT_TRUE(bridge.WriteLastFramePng(path));
    TW::PngImage image;
    ASSERT_TRUE(image.DecodeFile(path));
    EXPECT_EQ(image.Width(), 30);
    EXPECT_EQ(image.Height(), 10);
    EXPECT_EQ(image.Channels(), 4);
    EXPECT_EQ(image.Pixels(), rgba);
    EXPECT_FALSE(bridge.WriteLastFramePng(std::string(folder) + "/no/such/folder.png", &error));
    std::filesystem::remove_all(folder);
}

TEST(OffscreenBridge, ScaleAndFramebufferChoiceComeFromTheEnvironment)
{
    const char* savedScale = std::getenv("GDK_SCALE");
    const std::string scaleValue = savedScale ? savedScale : "";
    setenv("GDK_SCALE", "2", 1);
    unsetenv("VELLUNA_EDITOR_NO_FBO");
    {
        TW::OffscreenBridge bridge(100, 50);
        EXPECT_EQ(bridge.GetDevicePixelScale(), 2);
        EXPECT_TRUE(bridge.GetUseFramebufferObjects());
        int w = 0, h = 0;
        bridge.GetSurfaceSize(w, h);
        EXPECT_EQ(w, 200);
        EXPECT_EQ(h, 100);
        w = 7;
        h = 3;
        bridge.UpdateSizesForRetina(w, h);
        EXPECT_EQ(w, 14);
        EXPECT_EQ(h, 6);
        bridge.SetFrameSize(120, 60);
        EXPECT_EQ(bridge.GetFrameHeight(), 60);
        EXPECT_EQ(bridge.GetFrameWidth(), 120);
    }
    for (const char* bad : {"0", "x", "2.5", "", "99"})
    {
        setenv("GDK_SCALE", bad, 1);
        EXPECT_EQ(TW::ManagerPlatformBridge::DefaultDevicePixelScale(), 1) << bad;
    }
    setenv("VELLUNA_EDITOR_NO_FBO", "1", 1);
    EXPECT_FALSE(TW::OffscreenBridge(10, 10).GetUseFramebufferObjects());
    setenv("VELLUNA_EDITOR_NO_FBO", "0", 1);
    EXPECT_TRUE(TW::OffscreenBridge(10, 10).GetUseFramebufferObjects());
    unsetenv("VELLUNA_EDITOR_NO_FBO");
    if (savedScale)
        setenv("GDK_SCALE", scaleValue.c_str(), 1);
    else
        unsetenv("GDK_SCALE");
}

} // namespace
