// Script folders of the user and local domains, and resources read from bundles.
#include "core/UserFolders.h"
#include "core/FileLoader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace Tarn;

namespace
{

class UserFoldersTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_root = testing::TempDir() + "velluna-folders-" + std::to_string(::getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(m_root);
        ::setenv("XDG_DATA_HOME", (m_root + "/user").c_str(), 1);
        ::setenv("VELLUNA_LOCAL_DATA_DIR", (m_root + "/local").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_root); }

    std::string Scripts(const char* domain)
    {
        const std::string dir = m_root + "/" + domain + "/Tarnwick/Velluna/Scripts";
        std::filesystem::create_directories(dir);
        return dir;
    }
    static void Touch(const std::string& path, const char* text = "-- script\n")
    {
        std::ofstream(path) << text;
    }

    std::string m_root;
};

} // namespace

TEST_F(UserFoldersTest, DomainFolders)
{
    EXPECT_EQ(GetApplicationSupportFolder(Domain::User), m_root + "/user");
    EXPECT_EQ(GetApplicationSupportFolder(Domain::Local), m_root + "/local");
    EXPECT_EQ(GetProductFolder(Domain::User, "Velluna", "Skins"),
              m_root + "/user/Tarnwick/Velluna/Skins");
    ::unsetenv("VELLUNA_LOCAL_DATA_DIR");
    EXPECT_EQ(GetApplicationSupportFolder(Domain::Local), "/usr/local/share");
    ::setenv("XDG_DATA_HOME", "not/absolute", 1);
    ::setenv("HOME", "/home/someone/", 1);
    EXPECT_EQ(GetApplicationSupportFolder(Domain::User), "/home/someone/.local/share");
}

TEST_F(UserFoldersTest, ListingRules)
{
    const std::string user = Scripts("user");
    Touch(user + "/.lua");  // four characters: not a script
    Touch(user + "/a.lua"); // the shortest script name
    Touch(user + "/notes.txt");
    Touch(user + "/x.lua.bak");
    Touch(user + "/UPPER.LUA");
    std::filesystem::create_directories(user + "/x.lua");       // a directory
    ASSERT_EQ(::mkfifo((user + "/pipe.lua").c_str(), 0644), 0); // would block a reader
    std::filesystem::create_symlink(user + "/a.lua", user + "/link.lua");

    std::vector<std::string> list{"already there"};
    GetScriptsInDomain(list, Domain::User, "Velluna");
    std::sort(list.begin() + 1, list.end());
    EXPECT_EQ(list,
              (std::vector<std::string>{"already there", user + "/a.lua", user + "/link.lua"}));
}

TEST_F(UserFoldersTest, UnreadableScriptsAreSkipped)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const std::string user = Scripts("user");
    Touch(user + "/secret.lua");
    ::chmod((user + "/secret.lua").c_str(), 0);
    std::vector<std::string> list;
    GetScriptsInDomain(list, Domain::User, "Velluna");
    EXPECT_TRUE(list.empty());
}

TEST_F(UserFoldersTest, UserScriptsComeFirst)
{
    Touch(Scripts("local") + "/same.lua");
    Touch(Scripts("user") + "/same.lua");
    std::vector<std::string> list;
    GetScripts(list, "Velluna");
    EXPECT_EQ(list,
              (std::vector<std::string>{m_root + "/user/Tarnwick/Velluna/Scripts/same.lua",
                                        m_root + "/local/Tarnwick/Velluna/Scripts/same.lua"}));

    std::vector<std::string> none;
    GetScripts(none, "Another Product");
    EXPECT_TRUE(none.empty());
}

TEST_F(UserFoldersTest, FileLoaderReadsWholeResources)
{
    const std::string skin = m_root + "/skin";
    std::filesystem::create_directories(skin + "/fonts");
    const std::string bytes("gui\0script", 10);
    std::ofstream(skin + "/gui.lua", std::ios::binary) << bytes;
    Touch(skin + "/fonts/a.ttf", "font");
    Touch(m_root + "/outside.txt", "secret");
    ASSERT_EQ(mkfifo((skin + "/fifo.lua").c_str(), 0600), 0); // opening it blocking would hang

    TW::FileLoader gui("gui.lua", skin.c_str());
    ASSERT_NE(gui.GetData(), nullptr);
    EXPECT_EQ(gui.GetSize(), 10u);
    EXPECT_EQ(std::memcmp(gui.GetData(), bytes.data(), 10), 0);
    EXPECT_EQ(static_cast<const char*>(gui.GetData())[10], '\0');

    TW::FileLoader font("fonts/a.ttf", skin.c_str());
    EXPECT_EQ(font.GetSize(), 4u);

    for (const char* name : {"missing.lua", "../outside.txt", "fonts/../../outside.txt",
                             "/etc/hostname", "", "fonts", "fifo.lua"})
    {
        TW::FileLoader loader(name, skin.c_str());
        EXPECT_EQ(loader.GetData(), nullptr) << name;
        EXPECT_EQ(loader.GetSize(), 0u) << name;
    }
    TW::FileLoader nowhere("gui.lua", (m_root + "/no-such-bundle").c_str());
    EXPECT_EQ(nowhere.GetSize(), 0u);
}

TEST_F(UserFoldersTest, FileLoaderFindsThePluginBundle)
{
    // The build tree's resources stand in for the bundle of the command-line programs.
    TW::FileLoader midi("midi.lua");
    ASSERT_NE(midi.GetData(), nullptr);
    EXPECT_GT(midi.GetSize(), 0u);
    TW::FileLoader absent("no-such-resource.txt");
    EXPECT_EQ(absent.GetData(), nullptr);
}
