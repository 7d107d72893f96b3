// The velluna program's presets listing and state files, run as a user runs them.
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
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

TEST(VellunaState, DestinationsThatAreNotRegularFilesAreWrittenOrRefusedNeverReplaced)
{
    const std::string dir = testing::TempDir() + "velluna-cli-dest-" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto kind = [](const std::string& path)
    {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
    };
    const auto slurp = [](const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };

    // A device is written in place: /dev/null stays the device, and so does a link to it.
    const std::string toNull = dir + "/null-link";
    ASSERT_EQ(::symlink("/dev/null", toNull.c_str()), 0);
    for (const std::string& device : {std::string("/dev/null"), toNull})
    {
        const CliResult r = RunCli("state save " + device);
        EXPECT_EQ(r.status, 0) << device << ": " << r.err;
    }
    EXPECT_EQ(kind("/dev/null"), static_cast<unsigned>(S_IFCHR));
    EXPECT_EQ(kind(toNull), static_cast<unsigned>(S_IFLNK));
    // Standard output through a pipe gets the state itself.
    const CliResult piped = RunCli("state save /dev/stdout --preset 6 | cat");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_NE(piped.out.find("PW Dive"), std::string::npos);

    // A relative link is followed from its own folder; its target is replaced, the link kept.
    std::filesystem::create_directories(dir + "/kept");
    const std::string target = dir + "/kept/state.plist";
    std::ofstream(target) << "old";
    const std::string link = dir + "/state-link.plist";
    ASSERT_EQ(::symlink("kept/state.plist", link.c_str()), 0);
    CliResult r = RunCli("state save " + link + " --preset 6");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(kind(link), static_cast<unsigned>(S_IFLNK));
    EXPECT_NE(slurp(target).find("PW Dive"), std::string::npos);

    // The input as output: refused with status 2, the file untouched.
    const std::string before = slurp(target);
    r = RunCli("state save " + link + " --state " + target + " --preset 3");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(slurp(target), before);

    // A FIFO nobody reads and a folder are refused, and stay what they were.
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    r = RunCli("state save " + fifo);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing reads it"), std::string::npos) << r.err;
    EXPECT_EQ(kind(fifo), static_cast<unsigned>(S_IFIFO));
    r = RunCli("state save " + dir + "/kept");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(kind(dir + "/kept"), static_cast<unsigned>(S_IFDIR));

    // The temporary file of a writer that was killed goes at the next save of that file.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string stale = dir + "/kept/.state.plist.tmp." + std::to_string(child);
    std::ofstream(stale) << "half";
    r = RunCli("state save " + target);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(stale));
    std::filesystem::remove_all(dir);
}

TEST(VellunaState, AFifoAsTheStateToReadIsRefusedNotWaitedOn)
{
    const std::string fifo =
        testing::TempDir() + "velluna-cli-state-fifo-" + std::to_string(getpid());
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Nothing ever writes the FIFO: a blocking open would hang here.
    const CliResult r = RunCli("params --state " + fifo);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("is not a regular file"), std::string::npos) << r.err;
    std::remove(fifo.c_str());
}
