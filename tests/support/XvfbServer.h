// An X server of a test's own: Xvfb on a free display number, which it reports through
// -displayfd. Stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>

namespace TarnTest
{

class XvfbServer
{
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N", or empty when the server did not start.
    const std::string& Name() const { return m_name; }

private:
    pid_t m_pid = 0;
    std::string m_name;
};

} // namespace TarnTest
