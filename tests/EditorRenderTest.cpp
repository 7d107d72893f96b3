// Pictures of the editor rendered off-screen, checked by their pixels.
#include "editor/ALmanager.h"
#include "editor/Font.h"
#include "platform/offscreen/OffscreenBridge.h"
#include "support/EditorTestLayout.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace
{

constexpr int kWidth = 512;
constexpr int kHeight = 256;

// One frame, addressed in design pixels (origin bottom left, y upward).
struct Picture
{
    std::vector<std::uint8_t> rgba;
    int width = 0, height = 0, scale = 1;

    const std::uint8_t* At(int x, int y) const
    {
        const int row = height - 1 - y * scale, col = x * scale;
        return &rgba[(static_cast<std::size_t>(row) * width + col) * 4];
    }
    // Anything drawn over the dark blue background in any device pixel of design pixel
    // (x, y): a clearly red or green component.
    bool Drawn(int x, int y) const
    {
        for (int dy = 0; dy < scale; ++dy)
            for (int dx = 0; dx < scale; ++dx)
            {
                const std::uint8_t* p = At(x, y) - dy * width * 4 + dx * 4;
                if (p[0] > 60 || p[1] > 60)
                    return true;
            }
        return false;
    }
    bool DrawnNear(int x, int y) const
    {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (Drawn(x + dx, y + dy))
                    return true;
        return false;
    }
    bool White(int x, int y) const
    {
        const std::uint8_t* p = At(x, y);
        return p[0] > 90 && p[1] > 90 && p[2] > 90;
    }
};

class EditorRender : public ::testing::Test
{
protected:
    EditorRender()
        : synth(48000.0, false), bridge(kWidth, kHeight), manager(synth.get(), &bridge),
          layout(manager)
    {
        manager.SetWindowSize(kWidth, kHeight);
        TW::Manager::ms_enableConstantRedraw = false;
    }
    ~EditorRender() override
    {
        manager.DestroyRenderTask();
        TW::Manager::ms_enableConstantRedraw = true;
    }

    void Start()
    {
        manager.CreateControl(0, 0);
        manager.CreateRenderTask();
        ASSERT_TRUE(bridge.WaitForFrames(1, 20000));
    }
    // The next frame after the parameters changed.
    Picture Shot()
    {
        const unsigned n = bridge.GetFrameCount();
        manager.NudgeGUI();
        EXPECT_TRUE(bridge.WaitForFrames(n + 1, 20000));
        Picture p;
        EXPECT_TRUE(bridge.CopyLastFrame(p.rgba, p.width, p.height));
        p.scale = p.width / kWidth;
        return p;
    }

    TarnTest::TestInstance synth;
    TW::OffscreenBridge bridge;
    ALmanager manager;
    TarnTest::EditorLayout layout;
};

// Drawn pixels of the knob's lower-left and lower-right quarters, outline and centre column
// excluded.
void PointerPixels(const Picture& p, int x0, int y0, int size, int& left, int& right)
{
    left = right = 0;
    const int middle = x0 + size / 2;
    for (int y = y0 + 3; y < y0 + size / 2 - 2; ++y)
        for (int x = x0 + 3; x < x0 + size - 3; ++x)
            if (p.Drawn(x, y) && std::abs(x - middle) > 1)
                ++(x < middle ? left : right);
}

TEST_F(EditorRender, KnobPointerAtMinimumAndMaximum)
{
    layout.Knob(36, 200, 100, 60);
    Start();
    synth.Set(36, 0.0f);
    const Picture low = Shot();
    synth.Set(36, 1.0f);
    const Picture high = Shot();
    if (const char* dir = std::getenv("VELLUNA_EDITOR_PICTURES"))
        bridge.WriteLastFramePng(std::string(dir) + "/knob-max.png");
    int lowLeft, lowRight, highLeft, highRight;
    PointerPixels(low, 200, 100, 60, lowLeft, lowRight);
    PointerPixels(high, 200, 100, 60, highLeft, highRight);
    // At its minimum the pointer runs to the lower left (135 degrees left of straight up), at
    // its maximum to the lower right; the upper half is empty in both.
    EXPECT_GT(lowLeft, 15);
    EXPECT_EQ(lowRight, 0);
    EXPECT_GT(highRight, 15);
    EXPECT_EQ(highLeft, 0);
    // The end of the pointer lies on the diagonal: about (-0.707, -0.707) of the half size.
    EXPECT_TRUE(low.DrawnNear(230 - 21, 130 - 21));
    EXPECT_TRUE(high.DrawnNear(230 + 21, 130 - 21));
    EXPECT_FALSE(high.DrawnNear(230 + 24, 130 - 24)); // and ends at the half size
    for (int y = 133; y < 158; ++y)
        EXPECT_FALSE(low.Drawn(230, y) || high.Drawn(230, y)) << y;
}

TEST_F(EditorRender, LevelOfZeroIsAOnePixelBar)
{
    layout.Levels(0, 0, 320, 200); // 20 px a slider, middle at 100
    Start();
    for (int i = 1; i <= 16; ++i)
        synth.Set(i, 0.0f);
    synth.Set(2, 1.0f);
    synth.Set(3, -0.5f);
    const Picture p = Shot();
    auto column = [&](int x)
    {
        int n = 0, lowest = 1000, highest = -1;
        for (int y = 0; y < 200; ++y)
            if (p.Drawn(x, y))
                ++n, lowest = std::min(lowest, y), highest = std::max(highest, y);
        return std::vector<int>{n, lowest, highest};
    };
    const std::vector<int> zero = column(10); // Level 1 = 0
    EXPECT_EQ(zero[0], 1);
    EXPECT_EQ(zero[1], 100);
    const std::vector<int> full = column(30); // Level 2 = 1: from the middle to the top
    EXPECT_NEAR(full[0], 100, 1);
    EXPECT_EQ(full[1], 100);
    const std::vector<int> half = column(50); // Level 3 = -0.5: down to a quarter of the height
    EXPECT_NEAR(half[0], 50, 1);
    EXPECT_NEAR(half[1], 50, 1);
    // Between the bars (the outer fifth of each column) nothing is drawn.
    EXPECT_EQ(column(21)[0], 0);
}

// The rows of the white line in column x of a display spanning y0..y0 + h.
double LineRow(const Picture& p, int x, int y0, int h)
{
    double sum = 0;
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
        if (p.White(x, y))
            sum += y, ++n;
    return n ? sum / n : -1.0;
}

TEST_F(EditorRender, WaveformOfTheFirstPartialAndThePulseWidth)
{
    layout.Waveform(50, 20, 400, 200);
    Start();
    for (int i = 2; i <= 16; ++i)
        synth.Set(i, 0.0f);
    synth.Set(1, 1.0f);
    synth.Set(127, 0.5f);
    const Picture sine = Shot();
    // One sine cycle filling the height, its first half-cycle drawn downward: compare every
    // column with -sin(2 pi x / width).
    double worst = 0;
    for (int i = 2; i < 398; ++i)
    {
        const double expected = 120.0 - 100.0 * std::sin(2 * M_PI * i / 399.0);
        const double row = LineRow(sine, 50 + i, 15, 210);
        ASSERT_GE(row, 0) << i;
        // Steep parts of the line are long vertical runs: only the flat parts are precise.
        if (std::fabs(std::cos(2 * M_PI * i / 399.0)) < 0.5)
            worst = std::max(worst, std::fabs(row - expected));
    }
    EXPECT_LT(worst, 2.5);

    // Pulse width 0.25: the first half-cycle takes the first quarter of the width, its crest
    // at an eighth; the second fills the remaining three quarters.
    synth.Set(127, 0.25f);
    const Picture pulse = Shot();
    EXPECT_NEAR(LineRow(pulse, 50 + 50, 15, 210), 20, 2.5);
    EXPECT_NEAR(LineRow(pulse, 50 + 100, 15, 210), 120, 8);
    EXPECT_NEAR(LineRow(pulse, 50 + 250, 15, 210), 220, 2.5);
    EXPECT_NEAR(LineRow(sine, 50 + 100, 15, 210), 20, 2.5);

    // All levels 0: a flat line through the middle.
    synth.Set(1, 0.0f);
    const Picture flat = Shot();
    for (int i = 5; i < 395; i += 30)
        EXPECT_NEAR(LineRow(flat, 50 + i, 15, 210), 120, 1) << i;
}

TEST_F(EditorRender, EnvelopeDisplayEndsAtTheEndlessStage)
{
    layout.EnvDisplay(1, 50, 20, 400, 200);
    Start();
    // Env 1: A1 = 1 s up to 1, A2 = A3 = 0 at 1, R1 = 1 s down to 0.5, shapes straight.
    const float values[] = {1, 0, 0, 1, 5, 1, 1, 1, 1, 1, 1, 1, 1, 0.5f};
    for (int i = 0; i < 14; ++i)
        synth.Set(41 + i, values[i]);
    const Picture endless = Shot();
    // Drawn: 1 s attack, 1 s plateau, 1 s release: thirds of the width.
    EXPECT_NEAR(LineRow(endless, 50 + 2, 15, 210), 20 + 200 * 2 / 133.0, 3);
    EXPECT_NEAR(LineRow(endless, 50 + 200, 15, 210), 220, 2);
    EXPECT_NEAR(LineRow(endless, 50 + 397, 15, 210), 120, 3);

    synth.Set(45, 1.0f); // R2 below the endless time: drawn, falling to 0
    const Picture finite = Shot();
    EXPECT_NEAR(LineRow(finite, 50 + 150, 15, 210), 220, 2); // the plateau: 100..200 of 400
    EXPECT_NEAR(LineRow(finite, 50 + 250, 15, 210), 170, 3); // half way down R1
    EXPECT_NEAR(LineRow(finite, 50 + 397, 15, 210), 20, 3);  // R2 ends at 0
}

TEST_F(EditorRender, BackgroundMovesFasterWithActivity)
{
    TW::Manager::ms_enableConstantRedraw = true;
    Start();
    // The spread of one corner's blue over about half a second of frames.
    auto spread = [&]
    {
        int lowest = 255, highest = 0;
        for (int i = 0; i < 15; ++i)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(35));
            const Picture p = Shot();
            lowest = std::min<int>(lowest, p.At(2, 2)[2]);
            highest = std::max<int>(highest, p.At(2, 2)[2]);
        }
        return highest - lowest;
    };
    const int quiet = spread();
    synth->GetDisplayBlock().activity.store(0.7f); // capped at 0.2 by the editor
    const int active = spread();
    EXPECT_LE(quiet, 3);
    EXPECT_GE(active, 12);
}

// A label drawn through a framebuffer object and through the bridge's off-screen surface gives
// the same picture, in the right place and the right way up.
TEST(EditorRenderLabels, BothLabelPathsGiveTheSamePicture)
{
    Picture pictures[2];
    for (int path = 0; path < 2; ++path)
    {
        TarnTest::TestInstance synth(48000.0, false);
        TW::OffscreenBridge bridge(kWidth, kHeight);
        bridge.SetUseFramebufferObjects(path == 0);
        ALmanager manager(synth.get(), &bridge);
        manager.SetWindowSize(kWidth, kHeight);
        manager.SetFonts(nullptr, TW::Font::Create({{TW::Font::DefaultFontFile(), 14}}), nullptr);
        ASSERT_NE(manager.GetLabelFont(), nullptr);
        TarnTest::EditorLayout layout(manager);
        layout.Label("Velluna", 100, 200, 1); // left-justified, top at y = 200
        manager.CreateControl(0, 0);
        TW::Manager::ms_enableConstantRedraw = false;
        manager.CreateRenderTask();
        ASSERT_TRUE(bridge.WaitForFrames(1, 20000));
        manager.NudgeGUI();
        ASSERT_TRUE(bridge.WaitForFrames(2, 20000));
        ASSERT_TRUE(
            bridge.CopyLastFrame(pictures[path].rgba, pictures[path].width, pictures[path].height));
        manager.DestroyRenderTask();
        TW::Manager::ms_enableConstantRedraw = true;
    }
    const Picture& fbo = pictures[0];
    const Picture& memory = pictures[1];
    ASSERT_EQ(fbo.width, memory.width);
    int white = 0, dark = 0, differing = 0;
    for (int y = 170; y < 200; ++y)
        for (int x = 100; x < 170; ++x)
        {
            const std::uint8_t* a = fbo.At(x, y);
            const std::uint8_t* b = memory.At(x, y);
            for (int c = 0; c < 3; ++c)
                differing += std::abs(a[c] - b[c]) > 2;
            white += a[0] > 240 && a[1] > 240 && a[2] > 240;
            dark += a[0] < 100 && a[1] < 100 && a[2] < 100;
        }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(white, 600); // the label's white box
    EXPECT_GT(dark, 30);   // its black text
    // The box's top edge is at y = 200, below it is the label, above it the background.
    EXPECT_GT(fbo.At(102, 199)[0], 240);
    EXPECT_LT(fbo.At(102, 201)[0], 100);
    EXPECT_GT(memory.At(102, 199)[0], 240);
    EXPECT_LT(memory.At(102, 201)[0], 100);
}

// The floating tooltip fades in by 16 % of the remaining way per frame while a control is
// hovered, and out by 11 % per frame, vanishing below 1/255.
TEST_F(EditorRender, TooltipFadesInAndOut)
{
    TW::Manager::ms_enableTooltip = true;
    manager.SetFonts(TW::Font::Create({{TW::Font::DefaultFontFile(), 12}}), nullptr, nullptr);
    manager.SetBannerY(230);
    layout.Knob(33, 100, 100, 40);
    Start();
    EXPECT_EQ(manager.GetTooltipOpacity(), 0.0f);
    // Hovering asks for a frame of its own; once it is drawn each shot is exactly one frame.
    manager.HandleMouseMove(TW::Point{120, 120});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GT(manager.GetTooltipOpacity(), 0.0f);
    for (int frame = 0; frame < 6; ++frame)
    {
        const float before = manager.GetTooltipOpacity();
        Shot();
        EXPECT_NEAR(manager.GetTooltipOpacity(), 0.84f * before + 0.16f, 1e-6) << frame;
    }
    const Picture shown = Shot();
    manager.HandleMouseMove(TW::Point{400, 50});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int frames = 0;
    while (manager.GetTooltipOpacity() > 0.0f && frames < 100)
    {
        const float before = manager.GetTooltipOpacity();
        Shot();
        ++frames;
        if (manager.GetTooltipOpacity() > 0.0f)
            EXPECT_NEAR(manager.GetTooltipOpacity(), 0.89f * before, 1e-6);
        else
            EXPECT_LT(0.89f * before, 1.0f / 255);
    }
    EXPECT_EQ(manager.GetTooltipOpacity(), 0.0f);
    EXPECT_GT(frames, 20);
    const Picture gone = Shot();
    TW::Manager::ms_enableTooltip = false;
    // While shown, the tooltip's grey box sits across the knob's middle, below its centre line,
    // wider than the knob; once gone the same pixels are background again.
    int grey = 0;
    for (int x = 60; x < 180; ++x)
        grey += shown.At(x, 112)[0] > gone.At(x, 112)[0] + 30;
    EXPECT_GT(grey, 90);
    EXPECT_LE(shown.At(120, 125)[0], gone.At(120, 125)[0] + 2);
}

// On a surface with twice the design resolution the same layout fills twice the pixels: the
// label texture is 2048 x 1024 and labels and controls land at twice their design positions.
TEST(EditorRenderHighResolution, DoubleSizeSurface)
{
    TarnTest::TestInstance synth(48000.0, false);
    TW::OffscreenBridge bridge(kWidth, kHeight);
    bridge.SetDevicePixelScale(2);
    ALmanager manager(synth.get(), &bridge);
    manager.SetWindowSize(kWidth, kHeight);
    manager.SetFonts(nullptr, TW::Font::Create({{TW::Font::DefaultFontFile(), 14}}), nullptr);
    TarnTest::EditorLayout layout(manager);
    layout.Label("Velluna", 300, 200, 1);
    layout.Knob(36, 200, 100, 60);
    manager.CreateControl(0, 0);
    TW::Manager::ms_enableConstantRedraw = false;
    synth.Set(36, 1.0f);
    manager.CreateRenderTask();
    ASSERT_TRUE(bridge.WaitForFrames(1, 20000));
    manager.NudgeGUI();
    ASSERT_TRUE(bridge.WaitForFrames(2, 20000));
    Picture p;
    ASSERT_TRUE(bridge.CopyLastFrame(p.rgba, p.width, p.height));
    if (const char* dir = std::getenv("VELLUNA_EDITOR_PICTURES"))
        bridge.WriteLastFramePng(std::string(dir) + "/high-resolution.png");
    manager.DestroyRenderTask();
    TW::Manager::ms_enableConstantRedraw = true;
    ASSERT_EQ(p.width, 2 * kWidth);
    ASSERT_EQ(p.height, 2 * kHeight);
    p.scale = 2;
    EXPECT_TRUE(manager.IsHighResolution());
    EXPECT_GT(p.At(302, 199)[0], 240); // the label's box, top at y = 200
    EXPECT_LT(p.At(302, 201)[0], 100);
    EXPECT_TRUE(p.DrawnNear(230 + 21, 130 - 21)); // the knob's pointer at its maximum
    EXPECT_FALSE(p.DrawnNear(230 - 21, 130 - 21));
}


// The banner line and a group's title come from the static text: drawn once built, and the
// title and frame vanish with their group.
TEST_F(EditorRender, BannerAndGroupTitles)
{
    manager.SetFonts(TW::Font::Create({{TW::Font::DefaultFontFile(), 12}}), nullptr, nullptr);
    manager.SetBannerY(230);
    TW::NamedGroup* group = layout.Group("Oscillator");
    layout.Knob(36, 300, 60, 40, group);
    Start();
    EXPECT_STREQ(manager.GetBannerLine(), "tarnwick : velluna 1.1.1");
    // Grey text over the dark blue: red and green well above the background's.
    auto bright = [](const Picture& p, int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += p.At(x, y)[0] > 45 && p.At(x, y)[1] > 45;
        return n;
    };
    const Picture shown = Shot();
    EXPECT_GT(bright(shown, 60, 220, 226, 248), 100); // the banner title
    EXPECT_EQ(bright(shown, 230, 500, 226, 248), 0);  // nothing hovered: no read-out
    // The title sits in the gap of the frame's top edge (group top = 110), left of the knob.
    EXPECT_GT(bright(shown, 302, 360, 103, 118), 20);
    EXPECT_TRUE(shown.Drawn(289, 80)); // the frame's left edge
    group->SetVisible(false);
    const Picture hidden = Shot();
    EXPECT_EQ(bright(hidden, 302, 360, 103, 118), 0);
    EXPECT_FALSE(hidden.Drawn(289, 80));
    EXPECT_GT(bright(hidden, 60, 220, 226, 248), 100);
}


// A font that cannot be loaded is absent, and its alert shows where the read-out goes, drawn
// with a font that did load (no dialog inside a host).
TEST_F(EditorRender, FontAlertInTheBanner)
{
    testing::internal::CaptureStderr();
    manager.SetFonts(std::make_unique<TW::Font>("/nonexistent/Missing.ttf", 12),
                     TW::Font::Create({{TW::Font::DefaultFontFile(), 12}}), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Unable to load font"),
              std::string::npos);
    EXPECT_EQ(manager.GetBannerFont(), nullptr);
    EXPECT_EQ(manager.GetFontAlert(), "Unable to load font /nonexistent/Missing.ttf");
    manager.SetBannerBounds(20, 230, 492, 250);
    Start();
    const Picture p = Shot();
    int text = 0;
    for (int y = 226; y < 250; ++y)
        for (int x = 25; x < 250; ++x)
            text += p.At(x, y)[0] > 45 && p.At(x, y)[1] > 45;
    EXPECT_GT(text, 100);
}

} // namespace
