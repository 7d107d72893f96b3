// The JACK standalone's window, against a dummy JACK server and an Xvfb of the test's own: with
// a display it shows the panel in a top-level window, and closing that window (or an interrupt)
// ends the program with status 0; with --no-gui it shows no window and a termination signal ends
// it with status 0. (Without any display it runs as JackStandaloneTest plays it.)
#include <gtest/gtest.h>

#include "JackDesktopTest.h"
#include "support/X11HostWindow.h"

#include <jack/jack.h>
#include <signal.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

using namespace VellunaHostTest;
using namespace std::chrono_literals;

namespace
{

class StandaloneWindowTest : public JackDesktopTest
{
protected:
    void SetUp() override { SetUpDesktop("velluna-window"); }

    std::unique_ptr<TarnTest::ChildProcess> Start(std::vector<std::string> args)
    {
        args.insert(args.begin(), VELLUNA_STANDALONE);
        return std::make_unique<TarnTest::ChildProcess>(args, m_folder + "/standalone.log");
    }
    // Whether the standalone's client is on the server (its stereo output registered).
    bool OnTheServer() const
    {
        const char** ports =
            jack_get_ports(m_probe, "^Velluna", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        const bool found = ports && ports[0] && ports[1];
        jack_free(ports);
        return found;
    }
    // The standalone's top-level window (named after the instrument), or 0.
    Window StandaloneWindow() const
    {
        for (Window w : TarnTest::Descendants(m_display, DefaultRootWindow(m_display)))
            if (TarnTest::WindowName(m_display, w) == "Velluna")
                return w;
        return 0;
    }
    std::string Log() const { return TarnTest::ReadTextFile(m_folder + "/standalone.log"); }
};

TEST_F(StandaloneWindowTest, ShowsThePanelAndClosingTheWindowOrAnInterruptEndsItWithStatusZero)
{
    for (const bool closeTheWindow : {true, false})
    {
        auto standalone = Start({});
        ASSERT_TRUE(standalone->Started());
        Window window = 0;
        ASSERT_TRUE(WaitFor([&] { return (window = StandaloneWindow()) != 0; }, 15s))
            << "no window\n"
            << Log();
        EXPECT_TRUE(WaitFor([&] { return OnTheServer(); }, 10s)) << Log();
        EXPECT_TRUE(WaitFor([&] { return TarnTest::Colours(m_display, window) > 200; }, 10s))
            << "the panel is blank";
        if (closeTheWindow)
        {
            // What a window manager sends when the user clicks the close button.
            XEvent close{};
            close.xclient.type = ClientMessage;
            close.xclient.window = window;
            close.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
            close.xclient.format = 32;
            close.xclient.data.l[0] =
                static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
            close.xclient.data.l[1] = CurrentTime;
            XSendEvent(m_display, window, False, NoEventMask, &close);
            XSync(m_display, False);
            EXPECT_EQ(standalone->WaitFor(10000), 0) << Log();
        }
        else
        {
            EXPECT_EQ(standalone->Stop(SIGINT), 0) << Log();
        }
        EXPECT_EQ(standalone->WaitFor(0), 0) << "still running after " << closeTheWindow;
    }
}

TEST_F(StandaloneWindowTest, WithNoGuiShowsNoWindowAndATerminationSignalEndsItWithStatusZero)
{
    auto standalone = Start({"--no-gui"});
    ASSERT_TRUE(standalone->Started());
    ASSERT_TRUE(WaitFor([&] { return OnTheServer(); }, 15s)) << Log();
    std::this_thread::sleep_for(1s); // a window would be up by now
    EXPECT_EQ(StandaloneWindow(), 0u);
    EXPECT_EQ(standalone->Stop(SIGTERM), 0) << Log();
}

} // namespace
