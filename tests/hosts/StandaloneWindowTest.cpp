// The JACK standalone's window, against a dummy JACK server and an Xvfb of the test's own: with
// a display it shows the panel in a top-level window, and closing that window (or an interrupt)
// ends the program with status 0; with --no-gui it shows no window and a termination signal ends
// it with status 0. (Without any display it runs as JackStandaloneTest plays it.)
#include <gtest/gtest.h>

#include "UserFolders.h"
#include "support/ChildProcess.h"
#include "support/X11HostWindow.h"
#include "support/XvfbServer.h"

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

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end)
    {
        if (cond())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return cond();
}

class StandaloneWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        IsolateUserFolders();
        ASSERT_FALSE(m_server.Name().empty()) << "Xvfb did not start";
        ::setenv("DISPLAY", m_server.Name().c_str(), 1);
        m_display = XOpenDisplay(m_server.Name().c_str());
        ASSERT_TRUE(m_display);
        char pattern[] = "/tmp/velluna-standalone-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        m_folder = pattern;
        const std::string server = "velluna-window-" + std::to_string(::getpid());
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        m_jackd = std::make_unique<TarnTest::ChildProcess>(
            std::vector<std::string>{"jackd", "--no-realtime", "--name", server, "-d", "dummy",
                                     "-r", "48000", "-p", "1024"},
            m_folder + "/jackd.log");
        ASSERT_TRUE(m_jackd->Started());
        jack_set_error_function([](const char*) {}); // "cannot connect" while it starts
        jack_set_info_function([](const char*) {});
        ASSERT_TRUE(WaitFor(
            [&]
            {
                jack_status_t status{};
                m_probe = jack_client_open(
                    "velluna-window-probe",
                    static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
                    server.c_str());
                return m_probe != nullptr;
            },
            10s))
            << "the dummy JACK server did not come up";
        ::setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
    }
    void TearDown() override
    {
        if (m_probe)
            jack_client_close(m_probe);
        if (m_jackd)
            m_jackd->Stop(SIGTERM);
        if (m_display)
            XCloseDisplay(m_display);
    }

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

    TarnTest::XvfbServer m_server;
    Display* m_display = nullptr;
    std::string m_folder;
    std::unique_ptr<TarnTest::ChildProcess> m_jackd;
    jack_client_t* m_probe = nullptr;
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
