// Runs the built velluna program as a user would and collects what it prints.
#pragma once

#include <string>

namespace TarnTest
{

struct CliResult
{
    int status = -1; // exit status, -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs "velluna ARGS" through the shell (ARGS may quote).
CliResult RunVelluna(const std::string& args);

} // namespace TarnTest
