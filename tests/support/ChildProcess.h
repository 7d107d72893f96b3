// A program run by a test in a child process, its standard output and error in a file.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace TarnTest
{

class ChildProcess
{
public:
    // Starts args[0] (found on PATH) with args; output receives standard output and error.
    ChildProcess(std::vector<std::string> args, const std::string& output);
    // Kills the child if it still runs.
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // True when the child process was created.
    bool Started() const noexcept { return m_started; }
    // The child's process id (0 when it was not created).
    pid_t Pid() const noexcept { return m_pid; }
    // Waits for the child to end by itself; returns its exit status (-1 when killed).
    int Wait();
    // Waits up to `milliseconds` for the child to end by itself; returns its exit status, -1 when
    // killed, kStillRunning when it still runs.
    static constexpr int kStillRunning = -2;
    int WaitFor(int milliseconds);
    // Sends the signal, then waits; returns the exit status (-1 when killed by the signal).
    int Stop(int signal);

private:
    pid_t m_pid = 0;
    bool m_started = false;
    int m_status = -1;
};

// The whole contents of a text file, empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

} // namespace TarnTest
