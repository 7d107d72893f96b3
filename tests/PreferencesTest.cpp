// The per-user preferences file: reading, writing, corruption and concurrent writers.
#include "core/Preferences.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace Tarn;

namespace
{

class PreferencesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_root = testing::TempDir() + "velluna-prefs-" + std::to_string(::getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(m_root);
        std::filesystem::create_directories(m_root);
        ::setenv("XDG_CONFIG_HOME", m_root.c_str(), 1);
        m_path = m_root + "/Tarnwick/Velluna.conf";
    }
    void TearDown() override { std::filesystem::remove_all(m_root); }

    void WriteFile(const std::string& text)
    {
        std::filesystem::create_directories(m_root + "/Tarnwick");
        std::ofstream(m_path, std::ios::binary) << text;
    }
    std::string ReadFile()
    {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string m_root;
    std::string m_path;
};

} // namespace

TEST_F(PreferencesTest, PathFollowsTheConfigFolder)
{
    EXPECT_EQ(GetPreferencesPath(), m_path);
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(GetPreferencesPath(), "/home/someone/.config/Tarnwick/Velluna.conf");
}

TEST_F(PreferencesTest, AbsentKeysGiveDefaults)
{
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 7000);
    EXPECT_EQ(GetPrefInt(kPrefEnableEyeCandy, kDefaultEnableEyeCandy), 1);
    std::string skin = "kept";
    GetPrefString(kPrefSkin, skin);
    EXPECT_EQ(skin, "kept");
    EXPECT_FALSE(std::filesystem::exists(m_path)); // reading creates nothing
}

TEST_F(PreferencesTest, ValuesPersistWithTheirTypes)
{
    ASSERT_TRUE(SetPrefInt(kPrefOSCBasePort, 9000));
    ASSERT_TRUE(SetPrefString(kPrefSkin, "Night \"Blue\"\n=2 \\ é"));
    ASSERT_TRUE(SetPrefInt("key = with # odd\tcharacters", -5));
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 9000);
    EXPECT_EQ(GetPrefInt("key = with # odd\tcharacters", 0), -5);
    std::string skin;
    GetPrefString(kPrefSkin, skin);
    EXPECT_EQ(skin, "Night \"Blue\"\n=2 \\ é");

    // A string is not a number and a number is not a string.
    EXPECT_EQ(GetPrefInt(kPrefSkin, 7000), 7000);
    std::string text = "kept";
    GetPrefString(kPrefOSCBasePort, text);
    EXPECT_EQ(text, "kept");
    ASSERT_TRUE(SetPrefString(kPrefOSCBasePort, "7100"));
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 7000);
}

TEST_F(PreferencesTest, HandWrittenFileIsRead)
{
    WriteFile("# comment\r\nOSC Base Port=8123\nSkin=\"Dark\"\n\nBig=99999999999\n");
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 8123);
    EXPECT_EQ(GetPrefInt("Big", 3), 3); // beyond 32 bits
    std::string skin;
    GetPrefString(kPrefSkin, skin);
    EXPECT_EQ(skin, "Dark");
}

TEST_F(PreferencesTest, LongStringsAreCutAtACharacterBoundary)
{
    std::string value(1022, 'a');
    value += "é"; // two bytes: would straddle the 1023-byte limit
    ASSERT_TRUE(SetPrefString(kPrefSkin, value));
    std::string out;
    GetPrefString(kPrefSkin, out);
    EXPECT_EQ(out, std::string(1022, 'a'));
}

TEST_F(PreferencesTest, CorruptFileGivesDefaultsAndIsKeptUntilAKeyIsSet)
{
    const std::string corrupt = "OSC Base Port=8000\nthis line is broken\n";
    WriteFile(corrupt);
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 7000);
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 7000);
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFile(), corrupt);

    ASSERT_TRUE(SetPrefInt(kPrefEnableEyeCandy, 0));
    EXPECT_EQ(GetPrefInt(kPrefEnableEyeCandy, 1), 0);
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 7000);
    std::ifstream kept(m_path + ".corrupt");
    std::stringstream s;
    s << kept.rdbuf();
    EXPECT_EQ(s.str(), corrupt);
    // Reported at most once per process (an earlier test may already have used the report).
    EXPECT_LE(std::count(reported.begin(), reported.end(), '\n'), 1);
}

TEST_F(PreferencesTest, TwoProcessesWritingAtOnceLoseNoKey)
{
    constexpr int kKeysPerProcess = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c)
    {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0)
        {
            bool ok = true;
            for (int i = 0; i < kKeysPerProcess; ++i)
                ok = SetPrefInt(
                         ("process " + std::to_string(c) + " key " + std::to_string(i)).c_str(),
                         i) &&
                     ok;
            ::_exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children)
    {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kKeysPerProcess; ++i)
            EXPECT_EQ(
                GetPrefInt(("process " + std::to_string(c) + " key " + std::to_string(i)).c_str(),
                           -1),
                i)
                << c << " " << i;
    // No temporary file is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(m_root + "/Tarnwick"))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos);
}

TEST_F(PreferencesTest, UnreadableFileIsNotOverwritten)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    WriteFile("OSC Base Port=8000\n");
    ::chmod(m_path.c_str(), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 7000);
    EXPECT_FALSE(SetPrefInt(kPrefSkin, 1));
    testing::internal::GetCapturedStderr();
    ::chmod(m_path.c_str(), 0644);
    EXPECT_EQ(ReadFile(), "OSC Base Port=8000\n");
}

TEST_F(PreferencesTest, AFifoInPlaceOfTheFileIsNeitherWaitedOnNorReplaced)
{
    std::filesystem::create_directories(m_root + "/Tarnwick");
    ASSERT_EQ(::mkfifo(m_path.c_str(), 0644), 0);
    testing::internal::CaptureStderr();
    // Without a writer on the FIFO, a blocking open would never return.
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 7000);
    EXPECT_FALSE(SetPrefInt(kPrefOSCBasePort, 8000));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("is not a regular file"), std::string::npos) << said;
    struct stat st;
    ASSERT_EQ(::lstat(m_path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(PreferencesTest, ALinkIsWrittenThroughAndStaleTemporariesAreRemoved)
{
    // The file kept elsewhere (a dotfiles folder), linked into place.
    const std::string real = m_root + "/kept.conf";
    ASSERT_TRUE(SetPrefInt(kPrefEnableEyeCandy, 0));
    std::filesystem::rename(m_path, real);
    ASSERT_EQ(::symlink(real.c_str(), m_path.c_str()), 0);
    // What a writer killed mid-write left behind: a process that has ended.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string stale = m_root + "/.kept.conf.tmp." + std::to_string(child);
    const std::string staleOld = real + ".tmp." + std::to_string(child); // the older naming
    std::ofstream(stale) << "half";
    std::ofstream(staleOld) << "half";

    EXPECT_TRUE(SetPrefInt(kPrefOSCBasePort, 8000));
    struct stat st;
    ASSERT_EQ(::lstat(m_path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(GetPrefInt(kPrefOSCBasePort, 7000), 8000);
    EXPECT_EQ(GetPrefInt(kPrefEnableEyeCandy, 1), 0);
    EXPECT_TRUE(std::filesystem::remove(real)); // the values were in the link's target
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_FALSE(std::filesystem::exists(staleOld));
}
