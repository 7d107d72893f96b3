// The X11 window bridge under an Xvfb server of its own: a child window of a host's window, real
// input through the XTest extension arriving as manager-style calls, GL drawing on a thread of
// its own (window and label surface), and a host that destroys the parent window first.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "editor/GLExtensions.h"
#include "platform/x11/X11Bridge.h"
#include "support/X11PumpUntil.h"
#include "support/XvfbServer.h"

#include <GL/gl.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace
{

using Xvfb = TarnTest::XvfbServer;

struct Call
{
    std::string kind;
    float x = 0, y = 0;
    unsigned modifiers = 0;
    int clicks = 0;
    bool right = false;
    float delta = 0;
    int key = 0;
};

class RecordingSink : public TW::X11InputSink
{
public:
    std::vector<Call> calls;
    bool destroyed = false;
    int exposed = 0;

    void MouseDown(float x, float y, unsigned m, int clicks, bool right) override
    {
        calls.push_back({"down", x, y, m, clicks, right});
    }
    void MouseDragged(float x, float y, unsigned m) override { calls.push_back({"drag", x, y, m}); }
    void MouseUp(float x, float y, unsigned m) override { calls.push_back({"up", x, y, m}); }
    void MouseMoved(float x, float y) override { calls.push_back({"move", x, y}); }
    void MouseWheel(float x, float y, float delta, unsigned m) override
    {
        Call c{"wheel", x, y, m};
        c.delta = delta;
        calls.push_back(c);
    }
    bool Keypress(unsigned char key) override
    {
        Call c{"key"};
        c.key = key;
        calls.push_back(c);
        return true;
    }
    void FocusLost() override { calls.push_back({"focus lost"}); }
    void Exposed() override { ++exposed; }
    void WindowDestroyed() override { destroyed = true; }

    std::vector<Call> Take(const char* kind)
    {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.kind == kind)
                out.push_back(c);
        return out;
    }
};

// Pumps the bridge until the condition holds or two seconds pass.
using TarnTest::PumpUntil;

// Runs f on a thread of its own, as the editor's drawing thread would.
void OnDrawingThread(const std::function<void()>& f)
{
    std::thread thread(f);
    thread.join();
}

TEST(X11Bridge, FailsWithOneMessageWithoutAServerOrAParent)
{
    testing::internal::CaptureStderr();
    TW::X11Bridge noServer(0, 100, 100, "x", ":987");
    EXPECT_FALSE(noServer.IsOpen());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Velluna editor (X11): unable to open the display \":987\"\n");
    OnDrawingThread([&] { EXPECT_FALSE(noServer.InitGL()); });
    EXPECT_FALSE(noServer.Pump());

    Xvfb server;
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    testing::internal::CaptureStderr();
    TW::X11Bridge noParent(0x7fffff0, 100, 100, "x", server.Name().c_str());
    EXPECT_FALSE(noParent.IsOpen());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Velluna editor (X11): no window 0x7fffff0 to open the editor in\n");
}

TEST(X11Bridge, ChildWindowTurnsInputIntoManagerCallsAndSurvivesItsParent)
{
    Xvfb server;
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    Display* host = XOpenDisplay(server.Name().c_str());
    ASSERT_TRUE(host);
    const Window root = DefaultRootWindow(host);
    const Window parent = XCreateSimpleWindow(host, root, 0, 0, 300, 200, 0, 0, 0);
    XMapWindow(host, parent);
    XSync(host, False);

    TW::X11Bridge bridge(parent, 200, 100, "editor", server.Name().c_str());
    ASSERT_TRUE(bridge.IsOpen());
    RecordingSink sink;
    bridge.SetInputSink(&sink);
    bridge.Show();
    EXPECT_TRUE(PumpUntil(bridge, host, [&] { return sink.exposed > 0; }));
    EXPECT_EQ(bridge.GetFrameHeight(), 100);

    // Drawing: the window's back buffer and the label surface (rows from the top, B G R A).
    OnDrawingThread(
        [&]
        {
            ASSERT_TRUE(bridge.InitGL());
            ASSERT_TRUE(TW::InitGLExtensions());
            glViewport(0, 0, 200, 100);
            glClearColor(0.0f, 0.5f, 1.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            std::vector<std::uint8_t> rgba;
            int w = 0, h = 0;
            ASSERT_TRUE(bridge.ReadPixels(rgba, w, h));
            ASSERT_EQ(w, 200);
            ASSERT_EQ(h, 100);
            EXPECT_NEAR(rgba[(50 * 200 + 100) * 4 + 1], 128, 1);
            EXPECT_EQ(rgba[(50 * 200 + 100) * 4 + 2], 255);
            bridge.SwapBuffers();

            bridge.InitGLOffscreen(64, 32);
            bridge.MakeOffscreenCurrent();
            glViewport(0, 0, 64, 32);
            glClearColor(1, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glColor3f(0, 1, 0);
            glRectf(-1, 0, 1, 1); // the upper half
            ASSERT_TRUE(bridge.MakeCurrent());
            const std::uint8_t* label = bridge.OffscreenPixels();
            ASSERT_TRUE(label);
            EXPECT_EQ(label[(2 * 64 + 5) * 4 + 1], 255); // top rows green
            EXPECT_EQ(label[(2 * 64 + 5) * 4 + 2], 0);
            EXPECT_EQ(label[(29 * 64 + 5) * 4 + 2], 255); // bottom rows red
            EXPECT_EQ(label[(29 * 64 + 5) * 4 + 1], 0);
        });

    // Pointer input through the server. The window is at the root's origin: root (20, 30) is
    // window pixel (20, 30), which is view point (20, 100 - 30).
    XTestFakeMotionEvent(host, -1, 20, 30, 0);
    XTestFakeButtonEvent(host, 1, True, 0);
    XTestFakeMotionEvent(host, -1, 25, 10, 0);
    XTestFakeButtonEvent(host, 1, False, 0);
    // Two more presses where the drag ended: the first is far from the previous press (a
    // single click), the second a double click.
    for (int i = 0; i < 2; ++i)
    {
        XTestFakeButtonEvent(host, 1, True, 0);
        XTestFakeButtonEvent(host, 1, False, 0);
    }
    ASSERT_TRUE(PumpUntil(bridge, host, [&] { return sink.Take("up").size() == 3; }));
    auto downs = sink.Take("down");
    ASSERT_EQ(downs.size(), 3u);
    EXPECT_EQ(downs[0].x, 20);
    EXPECT_EQ(downs[0].y, 70);
    EXPECT_EQ(downs[0].clicks, 1);
    EXPECT_FALSE(downs[0].right);
    EXPECT_EQ(downs[1].clicks, 1);
    EXPECT_EQ(downs[2].clicks, 2);
    auto drags = sink.Take("drag");
    ASSERT_FALSE(drags.empty());
    EXPECT_EQ(drags.back().x, 25);
    EXPECT_EQ(drags.back().y, 90);
    EXPECT_EQ(sink.Take("up")[0].y, 90);

    // Control-shift right click, wheel up, and motion without a button.
    sink.calls.clear();
    const KeyCode control = XKeysymToKeycode(host, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(host, XK_Shift_L);
    XTestFakeKeyEvent(host, control, True, 0);
    XTestFakeKeyEvent(host, shift, True, 0);
    XTestFakeButtonEvent(host, 3, True, 0);
    XTestFakeButtonEvent(host, 3, False, 0);
    XTestFakeKeyEvent(host, shift, False, 0);
    XTestFakeKeyEvent(host, control, False, 0);
    XTestFakeButtonEvent(host, 4, True, 0);
    XTestFakeButtonEvent(host, 4, False, 0);
    XTestFakeButtonEvent(host, 5, True, 0);
    XTestFakeButtonEvent(host, 5, False, 0);
    XTestFakeMotionEvent(host, -1, 40, 50, 0);
    ASSERT_TRUE(PumpUntil(bridge, host, [&] { return !sink.Take("move").empty(); }));
    downs = sink.Take("down");
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_TRUE(downs[0].right);
    EXPECT_EQ(downs[0].modifiers, 0x300u);
    EXPECT_EQ(downs[0].clicks, 1);
    const auto wheels = sink.Take("wheel");
    ASSERT_EQ(wheels.size(), 2u);
    EXPECT_EQ(wheels[0].delta, 1.0f);
    EXPECT_EQ(wheels[1].delta, -1.0f);
    EXPECT_EQ(sink.Take("move").back().y, 50);

    // Keys go to the window once it has the focus; losing it is reported.
    sink.calls.clear();
    bridge.SetFocusToWindow();
    auto press = [&](KeySym sym, bool shifted = false)
    {
        if (shifted)
            XTestFakeKeyEvent(host, shift, True, 0);
        XTestFakeKeyEvent(host, XKeysymToKeycode(host, sym), True, 0);
        XTestFakeKeyEvent(host, XKeysymToKeycode(host, sym), False, 0);
        if (shifted)
            XTestFakeKeyEvent(host, shift, False, 0);
    };
    press(XK_1);
    press(XK_period);
    press(XK_a, true);
    press(XK_BackSpace);
    press(XK_Return);
    press(XK_KP_Enter);
    press(XK_Up);
    press(XK_Down);
    press(XK_Left);
    press(XK_Right);
    ASSERT_TRUE(PumpUntil(bridge, host, [&] { return sink.Take("key").size() >= 10; }));
    std::vector<int> keys;
    for (const Call& c : sink.Take("key"))
        keys.push_back(c.key);
    EXPECT_EQ(keys, (std::vector<int>{'1', '.', 'A', 8, 13, 3, 30, 31, 28, 29}));
    XSetInputFocus(host, parent, RevertToNone, CurrentTime);
    ASSERT_TRUE(PumpUntil(bridge, host, [&] { return !sink.Take("focus lost").empty(); }));

    // The host destroys the parent (and with it our window) before closing the editor.
    XDestroyWindow(host, parent);
    XSync(host, False);
    // A frame under way when the window goes: its requests fail on the server, not here.
    OnDrawingThread(
        [&]
        {
            glClear(GL_COLOR_BUFFER_BIT);
            bridge.SwapBuffers();
        });
    // The bridge has not heard of it yet: a resize now is a request on a window that is gone.
    bridge.SetFrameSize(300, 150);
    EXPECT_TRUE(PumpUntil(bridge, host, [&] { return sink.destroyed; }));
    // The failed requests reached the connection's own handler (Xlib's default one would have
    // ended this process).
    EXPECT_GT(bridge.GetErrorCount(), 0u);
    EXPECT_FALSE(bridge.Pump());
    EXPECT_FALSE(bridge.IsWindowAlive());
    bridge.SetFrameSize(300, 150);
    bridge.SetFocusToWindow();
    OnDrawingThread(
        [&]
        {
            EXPECT_FALSE(bridge.MakeCurrent());
            bridge.SwapBuffers();
            bridge.ShutdownGL();
        });
    XCloseDisplay(host);
}

} // namespace
