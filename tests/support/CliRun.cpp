#include "CliRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace TarnTest
{

CliResult RunVelluna(const std::string& args)
{
    const std::string errFile =
        testing::TempDir() + "velluna-cli-stderr-" + std::to_string(::getpid()) + ".txt";
    const std::string command = std::string(VELLUNA_CLI) + " " + args + " 2>" + errFile;
    CliResult r;
    if (FILE* pipe = popen(command.c_str(), "r"))
    {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            r.out.append(buffer, n);
        const int raw = pclose(pipe);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    std::ifstream err(errFile);
    r.err.assign(std::istreambuf_iterator<char>(err), {});
    std::remove(errFile.c_str());
    return r;
}

} // namespace TarnTest
