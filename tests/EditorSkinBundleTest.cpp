// Finding an installed skin by name: user domain before local domain, a plain folder before a
// ".bundle" in the same domain, nothing outside the Skins folders.
#include "editor/SkinBundle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{

namespace fs = std::filesystem;

class SkinBundle : public ::testing::Test
{
protected:
    SkinBundle()
    {
        char pattern[] = "/tmp/velluna-skins-XXXXXX";
        root = ::mkdtemp(pattern);
        user = root / "user";
        local = root / "local";
        ::setenv("XDG_DATA_HOME", user.c_str(), 1);
        ::setenv("VELLUNA_LOCAL_DATA_DIR", local.c_str(), 1);
    }
    ~SkinBundle() override
    {
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("VELLUNA_LOCAL_DATA_DIR");
        fs::remove_all(root);
    }
    static fs::path Make(const fs::path& domain, const std::string& name)
    {
        const fs::path p = domain / "Tarnwick" / "Velluna" / "Skins" / name;
        fs::create_directories(p);
        return p;
    }

    fs::path root, user, local;
};

TEST_F(SkinBundle, UserBeforeLocalAndPlainFolderBeforeBundle)
{
    EXPECT_EQ(TW::LocateSkinBundle("Dark", "Velluna"), "");

    const fs::path localBundle = Make(local, "Dark.bundle");
    EXPECT_EQ(TW::LocateSkinBundle("Dark", "Velluna"), localBundle.string());
    EXPECT_EQ(TW::LocateSkinBundle("Dark", Tarn::Domain::User, "Velluna"), "");

    const fs::path userBundle = Make(user, "Dark.bundle");
    EXPECT_EQ(TW::LocateSkinBundle("Dark", "Velluna"), userBundle.string());

    const fs::path userPlain = Make(user, "Dark");
    EXPECT_EQ(TW::LocateSkinBundle("Dark", "Velluna"), userPlain.string());
    EXPECT_EQ(TW::LocateSkinBundle("Dark", Tarn::Domain::Local, "Velluna"),
              localBundle.string());
    const fs::path localPlain = Make(local, "Dark");
    EXPECT_EQ(TW::LocateSkinBundle("Dark", Tarn::Domain::Local, "Velluna"), localPlain.string());

    // A file called Dark is no skin; the bundle beside it is.
    fs::remove_all(userPlain);
    std::ofstream(userPlain.string()) << "not a folder";
    EXPECT_EQ(TW::LocateSkinBundle("Dark", "Velluna"), userBundle.string());
    // Another product's skins are not ours.
    EXPECT_EQ(TW::LocateSkinBundle("Dark", "Other"), "");
}

TEST_F(SkinBundle, NamesThatLeaveTheSkinsFolderFindNothing)
{
    Make(user, "Dark");
    fs::create_directories(user / "Tarnwick" / "Velluna" / "Scripts");
    for (const char* name : {"", ".", "..", "../Scripts", "Dark/", "/tmp", "../Skins/Dark"})
        EXPECT_EQ(TW::LocateSkinBundle(name, "Velluna"), "") << name;
}

} // namespace
