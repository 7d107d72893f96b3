// The velluna program's parameter listing, run as a user runs it.
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace
{

using TarnTest::CliResult;

CliResult RunCli(const std::string& args)
{
    return TarnTest::RunVelluna(args);
}

std::vector<std::string> Split(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0, pos;
    while ((pos = s.find(sep, start)) != std::string::npos)
    {
        parts.push_back(s.substr(start, pos - start));
        start = pos + 1;
    }
    parts.push_back(s.substr(start));
    return parts;
}

} // namespace

TEST(VellunaParams, ListsEveryIdentifier)
{
    const CliResult r = RunCli("params");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> lines = Split(r.out, '\n');
    ASSERT_EQ(lines.back(), "");
    lines.pop_back();
    ASSERT_EQ(lines.size(), 181u);
    EXPECT_EQ(lines[0], "0\tVolume\t17\t0\t1\t1\tlive\t1");
    EXPECT_EQ(lines[20], "20\tu3\t0\t0\t0\t0\treserved\t");
    EXPECT_EQ(lines[39], "39\tUnused0\t0\t0\t0\t0\tinvalid\t");
    EXPECT_EQ(lines[115], "115\tLFO 1 Speed\t8\t0.0500000007\t100\t1\tlive\t1");
    EXPECT_EQ(lines[140], "140\tFilter Q\t0\t0.00999999978\t1\t0.100000001\tlive\t0.100000001");
    for (const std::string& line : lines)
        EXPECT_EQ(Split(line, '\t').size(), 8u) << line;
}

TEST(VellunaParams, SetByIdOrNameAndRefuseBadInput)
{
    CliResult r =
        RunCli("params --set 'Filter Cutoff=20000' --set 180=2.5 --set 'Modulation On/Off=1'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = Split(r.out, '\n');
    EXPECT_EQ(Split(lines[139], '\t').back(), "20000");
    EXPECT_EQ(Split(lines[180], '\t').back(), "2.5");
    EXPECT_EQ(Split(lines[162], '\t').back(), "1");

    struct Bad
    {
        const char* args;
        const char* message;
    };
    for (const Bad& bad :
         {Bad{"params --set Nope=1", "unknown parameter \"Nope\""},
          Bad{"params --set 0=abc", "malformed value \"abc\""},
          Bad{"params --set 0=nan", "malformed value \"nan\""},
          Bad{"params --set 0=1e99", "malformed value \"1e99\""},
          Bad{"params --set 0", "--set needs ID=VALUE"}, Bad{"params --set 181=1", "out of range"},
          Bad{"params --set 39=1", "is not in use"}, Bad{"params --set", "--set needs a value"},
          Bad{"params --frobnicate", "unknown option"}})
    {
        r = RunCli(bad.args);
        EXPECT_EQ(r.status, 2) << bad.args;
        EXPECT_EQ(r.out, "") << bad.args;
        EXPECT_NE(r.err.find(bad.message), std::string::npos) << bad.args << ": " << r.err;
    }
}
