#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace TarnTest
{

ChildProcess::ChildProcess(std::vector<std::string> args, const std::string& output)
{
    m_pid = fork();
    if (m_pid == 0)
    {
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0)
            _exit(126);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    m_started = m_pid > 0;
}

ChildProcess::~ChildProcess()
{
    Stop(SIGKILL);
}

int ChildProcess::Wait()
{
    if (m_pid <= 0)
        return m_status;
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = 0;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m_status;
}

int ChildProcess::WaitFor(int milliseconds)
{
    if (m_pid <= 0)
        return m_status;
    for (int waited = 0;; waited += 10)
    {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid)
        {
            m_pid = 0;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return m_status;
        }
        if (waited >= milliseconds)
            return kStillRunning;
        usleep(10000);
    }
}

int ChildProcess::Stop(int signal)
{
    if (m_pid > 0)
        kill(m_pid, signal);
    return Wait();
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace TarnTest
