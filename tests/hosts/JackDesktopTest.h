// What the tests of a JACK host program need around it: an Xvfb of their own on $DISPLAY (with a
// connection of the test's), a scratch folder for logs, and a dummy-driver JACK server that the
// programs started find through the environment, with a probe client of the test's on it. Set
// up and torn down on the test's thread.
#pragma once

#include "UserFolders.h"
#include "support/ChildProcess.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace VellunaHostTest
{

// Waits for cond() every 50 ms, up to the limit.
inline bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end)
    {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return cond();
}

class JackDesktopTest : public ::testing::Test
{
protected:
    // Isolates the user folders, then brings everything up; the server, its probe client and
    // the folder are named after `name`. Fails the test with what did not come up.
    void SetUpDesktop(const std::string& name)
    {
        IsolateUserFolders(); // the programs started inherit the folders
        ASSERT_FALSE(m_server.Name().empty()) << "Xvfb did not start";
        ::setenv("DISPLAY", m_server.Name().c_str(), 1);
        m_display = XOpenDisplay(m_server.Name().c_str());
        ASSERT_TRUE(m_display);
        std::string pattern = "/tmp/" + name + "-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern.data()));
        m_folder = pattern;
        m_jackName = name + "-" + std::to_string(::getpid());
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        m_jackd = std::make_unique<TarnTest::ChildProcess>(
            std::vector<std::string>{"jackd", "--no-realtime", "--name", m_jackName, "-d", "dummy",
                                     "-r", "48000", "-p", "1024"},
            m_folder + "/jackd.log");
        ASSERT_TRUE(m_jackd->Started());
        jack_set_error_function([](const char*) {}); // "cannot connect" while it starts
        jack_set_info_function([](const char*) {});
        const std::string probe = name + "-probe";
        ASSERT_TRUE(WaitFor(
            [&]
            {
                jack_status_t status{};
                m_probe = jack_client_open(
                    probe.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                    &status, m_jackName.c_str());
                return m_probe != nullptr;
            },
            std::chrono::seconds(10)))
            << "the dummy JACK server did not come up";
        ::setenv("JACK_DEFAULT_SERVER", m_jackName.c_str(), 1);
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

    TarnTest::XvfbServer m_server;
    Display* m_display = nullptr;
    std::string m_folder, m_jackName;
    std::unique_ptr<TarnTest::ChildProcess> m_jackd;
    jack_client_t* m_probe = nullptr;
};

} // namespace VellunaHostTest
