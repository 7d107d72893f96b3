// Keeps the host tests away from the user's own Velluna files: the preferences and the user's
// scripts folder move into a fresh temporary folder, with an OSC base port of the test's own.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace VellunaHostTest
{

// Sets XDG_CONFIG_HOME and XDG_DATA_HOME to a new folder and writes the preference
// "OSC Base Port". Returns that port. Call before any instance is opened.
inline int IsolateUserFolders()
{
    static int port = 0;
    if (port != 0)
        return port;
    char pattern[] = "/tmp/velluna-host-test-XXXXXX";
    const char* root = ::mkdtemp(pattern);
    if (!root)
        return 0;
    const std::string base = root;
    ::setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
    ::mkdir((base + "/config").c_str(), 0700);
    ::mkdir((base + "/config/Tarnwick").c_str(), 0700);
    // A base port from the process id, so that parallel test programs do not meet.
    port = 20000 + static_cast<int>(::getpid() % 20000) / 8 * 8;
    std::ofstream("" + base + "/config/Tarnwick/Velluna.conf") << "OSC Base Port=" << port << "\n";
    return port;
}

} // namespace VellunaHostTest
