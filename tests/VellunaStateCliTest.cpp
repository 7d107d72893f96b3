// The velluna program's presets listing and state files, run as a user runs them.
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace
{

using TarnTest::CliResult;

CliResult RunCli(const std::string& args)
{
    return TarnTest::RunVelluna(args);
}

// The value column of "velluna params" for one identifier.
std::string ParamValue(const std::string& listing, int id)
{
    const std::string start = "\n" + std::to_string(id) + "\t";
    const std::string text = "\n" + listing;
    const auto at = text.find(start);
    if (at == std::string::npos)
        return "<missing>";
    const auto end = text.find('\n', at + 1);
    const std::string line = text.substr(at + 1, end - at - 1);
    return line.substr(line.rfind('\t') + 1);
}

} // namespace

TEST(VellunaPresets, ListsThirtyTwoNumberedLines)
{
    const CliResult r = RunCli("presets");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 32);
    EXPECT_EQ(r.out.rfind("0\tDefaults\n1\tSimple Pad\n", 0), 0u);
    EXPECT_NE(r.out.find("\n15\tKV Chimes 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n31\tKV Stars2\n"), std::string::npos);
    EXPECT_EQ(RunCli("presets extra").status, 2);
}

TEST(VellunaState, SavedFileRestoresTheSameValues)
{
    const std::string file = testing::TempDir() + "velluna-cli-state.plist";
    std::remove(file.c_str());
    CliResult r = RunCli("state save " + file + " --preset \"PW Dive\" --set 161=-7.5");
    ASSERT_EQ(r.status, 0) << r.err;

    const CliResult direct = RunCli("params --preset 6 --set 161=-7.5");
    const CliResult restored = RunCli("params --state " + file);
    ASSERT_EQ(direct.status, 0) << direct.err;
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(restored.out, direct.out);
    EXPECT_EQ(ParamValue(restored.out, 160), "-24");
    EXPECT_EQ(ParamValue(restored.out, 161), "-7.5");

    // --set applies after the state; the preset applies before it.
    const CliResult layered = RunCli("params --set 139=333 --state " + file + " --preset 1");
    ASSERT_EQ(layered.status, 0) << layered.err;
    EXPECT_EQ(ParamValue(layered.out, 139), "333");
    EXPECT_EQ(ParamValue(layered.out, 160), "-24");
}

TEST(VellunaState, BadInputGetsAClearMessage)
{
    const std::string notPlist = testing::TempDir() + "velluna-not-a-plist.txt";
    std::ofstream(notPlist) << "hello\n";
    CliResult r = RunCli("params --state " + notPlist);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not an XML document"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());

    const std::string foreign = testing::TempDir() + "velluna-foreign.plist";
    std::ofstream(foreign) << "<plist version=\"1.0\"><dict><key>version</key><integer>0</integer>"
                              "<key>type</key><integer>1635085685</integer>"
                              "<key>subtype</key><integer>1</integer>"
                              "<key>manufacturer</key><integer>1415672430</integer>"
                              "<key>data</key><data></data></dict></plist>";
    r = RunCli("params --state " + foreign);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("another component"), std::string::npos) << r.err;

    r = RunCli("params --preset 32");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown preset"), std::string::npos) << r.err;
    EXPECT_EQ(RunCli("state").status, 2);
    EXPECT_EQ(RunCli("state save").status, 2);
    EXPECT_EQ(RunCli("state save " + testing::TempDir() + "no-such-dir/x.plist").status, 1);
}
