// A host that carries a FreeType of its own and exports it (linked in statically, -rdynamic): the
// plug-ins link FreeType, libpng and FTGL shared, so the editor's calls into them would reach the
// host's copy. The editor must see that and stay closed with one message naming FreeType, while
// the instrument plays on; the check itself tells a library's own definition from a foreign one.
#include "AudioChecks.h"
#include "ClapHost.h"
#include "UserFolders.h"

#include "platform/SharedLibraryBinding.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

// The host's "FreeType": this program's own definition, exported. Never called.
extern "C" int FT_Init_FreeType(void** library)
{
    *library = nullptr;
    return 1;
}

using namespace VellunaHostTest;

namespace
{

TEST(ForeignFreeTypeHost, TheEditorStaysClosedAndTheInstrumentPlays)
{
    IsolateUserFolders();
    ClapLibrary library(VELLUNA_CLAP_FILE);
    ClapInstance clap(library, 48000.0, 256);
    ASSERT_TRUE(clap.Valid());
    // No display is needed to see the conflict: it is found before the editor opens one.
    ::unsetenv("DISPLAY");
    ::testing::internal::CaptureStderr();
    const bool created = clap.Gui()->create(clap.Plugin(), CLAP_WINDOW_API_X11, false);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(created);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find("its own FreeType"), std::string::npos) << message;

    clap.NoteOn(10, 69, 0.8);
    clap.ProcessFrames(12000);
    EXPECT_GT(Peak(clap.Left()), 0.01f);
    EXPECT_NEAR(ZeroCrossingPitch(clap.Left(), 3000, 12000, 48000.0), 440.0, 4.0);
}

// The plug-in loaded FreeType and libpng: FreeType's entry taken by this program is found, with
// this program named; one it does not define, and libpng, are FreeType's and libpng's own.
TEST(ForeignFreeTypeHost, TheCheckTellsOwnDefinitionsFromForeignOnes)
{
    ClapLibrary library(VELLUNA_CLAP_FILE);
    const std::string foreign = TW::ForeignDefinition("libfreetype.so.6", "FT_Init_FreeType");
    EXPECT_NE(foreign.find("ForeignFreeTypeHostTest"), std::string::npos) << foreign;
    EXPECT_EQ(TW::ForeignDefinition("libfreetype.so.6", "FT_Done_FreeType"), "");
    EXPECT_EQ(TW::ForeignDefinition("libpng16.so.16", "png_create_read_struct"), "");
    EXPECT_EQ(TW::ForeignDefinition("libnot-loaded-here.so.1", "FT_Init_FreeType"), "");
}

} // namespace
