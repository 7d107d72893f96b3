// velluna snapshot, run as a user runs it: the pictures it writes, checked by their pixels at
// the places where the shipped panel puts its controls, and its refusals of bad input.
#include "editor/ALmanager.h"
#include "editor/Group.h"
#include "editor/LevelsMultiSlider.h"
#include "editor/PluginLuaGui.h"
#include "editor/PngImage.h"
#include "editor/RippleKnob.h"
#include "support/CliRun.h"
#include "support/RecordingBridge.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

// Where the shipped panel puts things, from the skin host itself (no drawing).
struct PanelLayout
{
    PanelLayout()
    {
        TarnTest::TestInstance synth(48000.0, false);
        TarnTest::RecordingBridge bridge;
        ALmanager manager(synth.get(), &bridge);
        TW::PluginLuaGui gui(synth.get(), std::string(), nullptr, nullptr);
        gui.CreateUI(&manager);
        std::vector<const TW::UIElement*> stack(manager.GetRoot()->Children().begin(),
                                                manager.GetRoot()->Children().end());
        while (!stack.empty())
        {
            const TW::UIElement* e = stack.back();
            stack.pop_back();
            if (auto* g = dynamic_cast<const TW::Group*>(e))
                stack.insert(stack.end(), g->Children().begin(), g->Children().end());
            TW::Bounds b;
            e->GetWorldBounds(b);
            if (dynamic_cast<const TW::RippleKnob*>(e))
                knobs.push_back(b);
            if (dynamic_cast<const TW::LevelsMultiSlider*>(e))
                levels = b;
        }
        banner = manager.GetBannerBounds();
        gui.LuaShutdown();
    }
    std::vector<TW::Bounds> knobs;
    TW::Bounds levels, banner;
};

struct Picture
{
    explicit Picture(const std::string& path)
    {
        std::string error;
        EXPECT_TRUE(png.DecodeFile(path, &error)) << error;
        scale = png.Width() / 1000;
    }
    // Design pixel (x, y), y upward: R, G, B.
    const std::uint8_t* At(int x, int y) const
    {
        const int row = png.Height() - 1 - y * scale;
        return &png.Pixels()[(static_cast<std::size_t>(row) * png.Width() + x * scale) *
                             png.Channels()];
    }
    // Pixels of the box that are lit: clearly brighter than the dark blue background (about
    // 0, 0, 60), in red and green or in blue alone.
    int Lit(const TW::Bounds& b) const
    {
        int n = 0;
        for (int y = static_cast<int>(b.minY); y < static_cast<int>(b.maxY); ++y)
            for (int x = static_cast<int>(b.minX); x < static_cast<int>(b.maxX); ++x)
            {
                const std::uint8_t* p = At(x, y);
                n += p[0] + p[1] > 160 || p[2] > 160 ? 1 : 0;
            }
        return n;
    }
    TW::PngImage png;
    int scale = 1;
};

class Snapshot : public ::testing::Test
{
protected:
    Snapshot()
    {
        char pattern[] = "/tmp/velluna-snapshot-XXXXXX";
        dir = ::mkdtemp(pattern);
        // No preference or installed skin of the machine's user reaches the pictures.
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    }
    ~Snapshot() override
    {
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_DATA_HOME");
        fs::remove_all(dir);
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    fs::path dir;
};

TEST_F(Snapshot, DrawsThePanelWithGlowingKnobsAndFollowsThePreset)
{
    const PanelLayout layout;
    ASSERT_GT(layout.knobs.size(), 100u);
    const auto first = TarnTest::RunVelluna("snapshot " + Path("defaults.png") + " --frames 3");
    ASSERT_EQ(first.status, 0) << first.err;
    const auto second =
        TarnTest::RunVelluna("snapshot " + Path("octaves.png") + " --preset Octaves --frames 3");
    ASSERT_EQ(second.status, 0) << second.err;
    const Picture defaults(Path("defaults.png")), octaves(Path("octaves.png"));
    ASSERT_EQ(defaults.png.Width(), 1000);
    ASSERT_EQ(defaults.png.Height(), 500);

    // Not blank: many colours.
    std::set<unsigned> colours;
    for (int y = 0; y < 500; y += 3)
        for (int x = 0; x < 1000; x += 3)
        {
            const std::uint8_t* p = defaults.At(x, y);
            colours.insert(p[0] << 16 | p[1] << 8 | p[2]);
        }
    EXPECT_GT(colours.size(), 200u);
    // Every knob glows where the panel put it.
    int dark = 0;
    for (const TW::Bounds& k : layout.knobs)
        dark += defaults.Lit(k) < 20 ? 1 : 0;
    EXPECT_EQ(dark, 0) << "knobs without their glow";
    // The level bank shows the preset's partials: Defaults sounds one, Octaves several.
    EXPECT_GT(octaves.Lit(layout.levels), defaults.Lit(layout.levels) * 3 / 2 + 20);
}

TEST_F(Snapshot, HoverShowsTheReadoutInTheBannerAndScaleTwoDoublesThePicture)
{
    const PanelLayout layout;
    const TW::Bounds& knob = layout.knobs.front();
    const std::string hover = std::to_string((knob.minX + knob.maxX) / 2) + "," +
                              std::to_string((knob.minY + knob.maxY) / 2);
    const auto plain =
        TarnTest::RunVelluna("snapshot " + Path("plain.png") + " --scale 2 --frames 2");
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto hovered = TarnTest::RunVelluna("snapshot " + Path("hover.png") +
                                              " --scale 2 --frames 2 --note 60 --hover " + hover);
    ASSERT_EQ(hovered.status, 0) << hovered.err;
    const Picture a(Path("plain.png")), b(Path("hover.png"));
    ASSERT_EQ(a.png.Width(), 2000);
    ASSERT_EQ(a.png.Height(), 1000);
    // The read-out is drawn in the banner's right part, after the title.
    TW::Bounds readout = layout.banner;
    readout.minX = 300;
    EXPECT_GT(b.Lit(readout), a.Lit(readout) + 30);
}

TEST(SnapshotErrors, BadInputIsRefusedWithAMessage)
{
    const std::string out = "/tmp/velluna-snapshot-refused-" + std::to_string(::getpid()) + ".png";
    const struct
    {
        std::string args;
        int status;
        const char* message;
    } cases[] = {
        {"", 2, "needs the OUT.png file"},
        {out + " --preset Nope", 2, "Nope"},
        {out + " --skin NoSuchSkin", 2, "no skin named \"NoSuchSkin\""},
        {out + " --scale 3", 2, "--scale must be 1 or 2"},
        {out + " --frames 0", 2, "--frames must be a whole number"},
        {out + " --hover 10", 2, "--hover needs X,Y"},
        {out + " --note 128", 2, "--note must be a key from 0 to 127"},
        {out + " --set Nope=1", 2, "unknown parameter"},
        {out + " --frames", 2, "--frames needs a value"},
        {out + " extra.png", 2, "unexpected argument \"extra.png\""},
        {"/nonexistent-folder/x.png --frames 1", 1, "/nonexistent-folder/x.png"},
    };
    for (const auto& c : cases)
    {
        const auto r = TarnTest::RunVelluna("snapshot " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
        EXPECT_FALSE(fs::exists(out)) << c.args;
    }
}

} // namespace
