// The editor in an X11 window end to end, under an Xvfb of its own: a manager for a real
// instance drawing through GLX on its drawing thread, a knob dragged with real (XTest) input, and
// the host destroying the parent window while the editor still draws.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "editor/ALmanager.h"
#include "platform/x11/ManagerX11Input.h"
#include "platform/x11/X11Bridge.h"
#include "support/EditorTestLayout.h"
#include "support/TestInstance.h"
#include "support/X11PumpUntil.h"
#include "support/XvfbServer.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace
{

using namespace std::chrono_literals;

constexpr int kAttackShape = 36; // generic 0..1

using TarnTest::PumpUntil;

// The window's picture as the X server has it; counts pixels that are not black.
int LitPixels(Display* host, Window window, int width, int height, int& bluest)
{
    XImage* image = XGetImage(host, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return -1;
    int lit = 0;
    bluest = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const unsigned long p = XGetPixel(image, x, y);
            lit += (p & 0xffffff) != 0;
            bluest = std::max(bluest, static_cast<int>(p & 0xff));
        }
    XDestroyImage(image);
    return lit;
}

TEST(X11Editor, DrawsThroughGlxTakesRealInputAndOutlivesItsParent)
{
    TarnTest::XvfbServer server;
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    Display* host = XOpenDisplay(server.Name().c_str());
    ASSERT_TRUE(host);
    const Window parent =
        XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 512, 256, 0, 0, 0);
    XMapWindow(host, parent);
    XSync(host, False);

    TarnTest::TestInstance synth(48000.0, false);
    TW::X11Bridge bridge(parent, 512, 256, "editor", server.Name().c_str());
    ASSERT_TRUE(bridge.IsOpen());
    {
        ALmanager manager(synth.get(), &bridge);
        TW::ManagerX11Input input(manager);
        bridge.SetInputSink(&input);
        manager.SetWindowSize(512, 256);
        TarnTest::EditorLayout layout(manager);
        layout.Knob(kAttackShape, 100, 100, 40);
        manager.CreateControl(0, 0);
        bridge.Show();
        manager.CreateRenderTask();

        // The drawing thread fills the window with the moving background.
        int lit = 0, bluest = 0;
        for (int i = 0; i < 300 && lit < 512 * 256 / 2; ++i)
        {
            bridge.Pump();
            std::this_thread::sleep_for(10ms);
            lit = LitPixels(host, bridge.GetWindow(), 512, 256, bluest);
        }
        EXPECT_GT(lit, 512 * 256 / 2);
        EXPECT_GT(bluest, 30);

        // A 50-pixel drag upward on the knob (view point (120, 120) is window pixel (120, 136)).
        synth.Set(kAttackShape, 0.5f);
        XTestFakeMotionEvent(host, -1, 120, 136, 0);
        XTestFakeButtonEvent(host, 1, True, 0);
        XTestFakeMotionEvent(host, -1, 120, 86, 0);
        XTestFakeButtonEvent(host, 1, False, 0);
        EXPECT_TRUE(
            PumpUntil(bridge, host, [&] { return synth->GetParameter(kAttackShape) > 0.7f; }));
        EXPECT_NEAR(synth->GetParameter(kAttackShape), 0.75f, 1e-6);

        // The host destroys the parent while the editor draws; then it closes the editor.
        XDestroyWindow(host, parent);
        XSync(host, False);
        EXPECT_TRUE(PumpUntil(bridge, host, [&] { return !bridge.IsWindowAlive(); }));
        std::this_thread::sleep_for(100ms); // frames are skipped now
        manager.DestroyRenderTask();
        bridge.SetInputSink(nullptr);
    }
    XCloseDisplay(host);
}

} // namespace
