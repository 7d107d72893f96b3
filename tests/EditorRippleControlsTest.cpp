// The knob renderer, ripple knobs and ripple buttons: geometry of the knobs' fans, the vertex
// program read from the bundle (and the unshaded knobs without it), and pictures rendered
// off-screen.
#include "editor/ALmanager.h"
#include "editor/Font.h"
#include "editor/Group.h"
#include "editor/RippleButton.h"
#include "editor/RippleKnob.h"
#include "editor/RippleKnobRenderer.h"
#include "editor/Ripples.h"
#include "editor/StaticText.h"
#include "editor/Texture.h"
#include "editor/Vortex.h"
#include "platform/Bundle.h"
#include "platform/offscreen/OffscreenBridge.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr int kWidth = 256;
constexpr int kHeight = 128;

struct Frame
{
    std::vector<std::uint8_t> rgba;
    int width = 0, height = 0;
    // Design pixel (x, y), origin bottom left.
    const std::uint8_t* At(int x, int y) const
    {
        return &rgba[(static_cast<std::size_t>(height - 1 - y) * width + x) * 4];
    }
};

// A folder standing in for a bundle, removed at the end.
struct TempBundle
{
    std::filesystem::path path;
    explicit TempBundle(const char* shader)
    {
        char pattern[] = "/tmp/velluna-knob-XXXXXX";
        path = ::mkdtemp(pattern);
        if (shader)
            std::ofstream(path / "knobshader.txt") << shader;
    }
    ~TempBundle() { std::filesystem::remove_all(path); }
};

// Renders knobs of the given parameters in a row through a renderer reading its program from
// bundle (empty: the plug-in's bundle) and returns the second frame. stderrText gets what the
// drawing thread wrote to standard error.
Frame RenderKnobs(const std::string& bundle, const std::vector<std::pair<int, float>>& knobs,
                  std::string* stderrText = nullptr, unsigned* program = nullptr,
                  const char* png = nullptr)
{
    TarnTest::TestInstance synth(48000.0, false);
    TW::OffscreenBridge bridge(kWidth, kHeight);
    ALmanager manager(synth.get(), &bridge);
    manager.SetWindowSize(kWidth, kHeight);
    auto* renderer = static_cast<TW::RippleKnobRenderer*>(
        manager.AddEffect(new TW::RippleKnobRenderer(&manager, bundle)));
    float x = 20.0f;
    for (const auto& [param, value] : knobs)
    {
        synth.Set(param, value);
        manager.GetRoot()->AddChild(
            new TW::RippleKnob(&manager, param, nullptr, nullptr, renderer, x, 30.0f, 60.0f));
        x += 80.0f;
    }
    manager.CreateControl(0, 0);
    const bool redraw = TW::Manager::ms_enableConstantRedraw;
    TW::Manager::ms_enableConstantRedraw = false;
    testing::internal::CaptureStderr();
    manager.CreateRenderTask();
    EXPECT_TRUE(bridge.WaitForFrames(1, 20000));
    manager.NudgeGUI();
    EXPECT_TRUE(bridge.WaitForFrames(2, 20000));
    Frame f;
    EXPECT_TRUE(bridge.CopyLastFrame(f.rgba, f.width, f.height));
    if (png)
        bridge.WriteLastFramePng(png);
    if (program)
        *program = renderer->GetProgram();
    manager.DestroyRenderTask();
    const std::string err = testing::internal::GetCapturedStderr();
    if (stderrText)
        *stderrText = err;
    TW::Manager::ms_enableConstantRedraw = redraw;
    return f;
}

// The first parameter with the given unit, -1 when none has it.
int ParamWithUnit(const TW::Manager& manager, unsigned unit)
{
    for (int i = 0; i < manager.GetParameterCount(); ++i)
        if (manager.GetParameterDescription(i).index >= 0 &&
            manager.GetParameterDescription(i).unit == unit)
            return i;
    return -1;
}

// Sum of the red, green and blue of the ring between 0.55 and 0.95 of the radius around
// (cx, cy), on the side facing the fixed light (upper right).
long RingBrightness(const Frame& f, int cx, int cy, int radius)
{
    long sum = 0;
    for (int y = cy; y <= cy + radius; ++y)
        for (int x = cx; x <= cx + radius; ++x)
        {
            const double r = std::hypot(x - cx, y - cy);
            if (r >= 0.55 * radius && r <= 0.95 * radius)
                sum += f.At(x, y)[0] + f.At(x, y)[1] + f.At(x, y)[2];
        }
    return sum;
}

// The bundled program lights the knobs: the rim facing the lights glows where the unshaded
// rim is dark. Without the resource, or with one GL refuses, the knobs are drawn unshaded and
// GL's complaint is printed with its position.
TEST(EditorKnobRenderer, ProgramFromTheBundleGlowsAndKnobsSurviveWithoutIt)
{
    const std::vector<std::pair<int, float>> knobs = {{36, 0.0f}, {36, 0.5f}};
    std::string message;
    unsigned program = 0;
    const Frame shaded = RenderKnobs("", knobs, &message, &program);
    EXPECT_NE(program, 0u) << message;
    EXPECT_EQ(message.find("error at position"), std::string::npos) << message;

    TempBundle missing(nullptr);
    const Frame plain = RenderKnobs(missing.path, knobs, &message, &program);
    EXPECT_EQ(program, 0u);
    EXPECT_NE(message.find("knobshader.txt"), std::string::npos) << message;

    TempBundle broken("!!ARBvp1.0\nMOV result.position, no.such.thing;\nEND\n");
    const Frame refused = RenderKnobs(broken.path, knobs, &message, &program);
    EXPECT_EQ(program, 0u);
    int position = -1;
    char text[200] = {};
    ASSERT_EQ(std::sscanf(message.c_str(), "error at position: %d\n%199[^\n]", &position, text), 2)
        << message;
    EXPECT_GT(position, 10); // in the second line
    EXPECT_GT(std::strlen(text), 0u);

    // Both unshaded pictures are the same but for the drifting background; knobs are drawn in
    // each (the centre in the knob's green).
    ASSERT_EQ(plain.rgba.size(), refused.rgba.size());
    int differing = 0;
    for (std::size_t i = 0; i < plain.rgba.size(); ++i)
        differing += std::abs(plain.rgba[i] - refused.rgba[i]) > 12;
    EXPECT_EQ(differing, 0);
    for (const Frame* f : {&shaded, &plain})
    {
        EXPECT_GT(f->At(50, 60)[1], 150);
        EXPECT_GT(f->At(130, 60)[1], 150);
    }
    // The glow: the upper-right rim of both knobs is clearly brighter through the program.
    for (int cx : {50, 130})
    {
        const long lit = RingBrightness(shaded, cx, 60, 30);
        const long unlit = RingBrightness(plain, cx, 60, 30);
        EXPECT_GT(lit, unlit * 3 / 2) << cx;
    }
}

// The fan of each knob: the pointer spoke (rim points 0 and 10) turns clockwise with the value,
// from 135 degrees left of straight up at the minimum to 135 degrees right at the maximum; the
// knob takes its world centre and half its width as radius; its colour follows its unit.
TEST(EditorKnobRenderer, PointerTurnsClockwiseAroundTheWorldCentre)
{
    TarnTest::TestInstance synth(48000.0, false);
    ALmanager manager(synth.get(), nullptr);
    manager.SetWindowSize(kWidth, kHeight);
    TW::RippleKnobRenderer renderer(&manager);
    const int gain = ParamWithUnit(manager, TW::kUnitLinearGain);
    const int hertz = ParamWithUnit(manager, TW::kUnitHertz);
    ASSERT_GE(gain, 0);
    ASSERT_GE(hertz, 0);
    auto* group = new TW::Group(&manager);
    group->SetOffset(100.0f, 10.0f, 0.0f);
    manager.GetRoot()->AddChild(group);
    auto* knob = new TW::RippleKnob(&manager, gain, nullptr, nullptr, &renderer, 20, 30, 40);
    group->AddChild(knob);
    auto* blue = new TW::RippleKnob(&manager, hertz, nullptr, nullptr, &renderer, 0, 0, 10);
    manager.GetRoot()->AddChild(blue);
    manager.CreateControl(0, 0);
    renderer.BuildVertices();

    const TW::RippleKnobRenderer::Knob& k = renderer.Get(knob->GetRendererIndex());
    EXPECT_FLOAT_EQ(k.x, 140.0f);
    EXPECT_FLOAT_EQ(k.y, 60.0f);
    EXPECT_FLOAT_EQ(k.radius, 20.0f);
    EXPECT_GT(knob->GetColour().r, 0.9f); // linear gain: red
    EXPECT_GT(blue->GetColour().b, 0.8f); // Hertz: blue
    EXPECT_EQ(renderer.Get(blue->GetRendererIndex()).colour.b, blue->GetColour().b);

    const float pi = 3.14159265f;
    const TW::ParameterDescription& param = manager.GetParameterDescription(gain);
    for (float n : {0.0f, 0.25f, 0.5f, 1.0f})
    {
        synth.Set(gain, param.minValue + n * (param.maxValue - param.minValue));
        knob->Update();
        const float expected = (n - 0.5f) * 1.5f * pi; // clockwise from straight up
        const float* v = renderer.GetVertices(knob->GetRendererIndex());
        ASSERT_NE(v, nullptr);
        const float* centre = v;
        EXPECT_FLOAT_EQ(centre[7], 140.0f);
        EXPECT_FLOAT_EQ(centre[8], 60.0f);
        for (int spoke : {1, 11})
        {
            const float* p = v + spoke * TW::RippleKnobRenderer::kFloatsPerVertex;
            EXPECT_NEAR(p[7], 140.0f + 20.0f * std::sin(expected), 1e-3) << n;
            EXPECT_NEAR(p[8], 60.0f + 20.0f * std::cos(expected), 1e-3) << n;
            // The normal leans out along the spoke.
            EXPECT_NEAR(p[4], 0.7f * std::sin(expected), 1e-4) << n;
            EXPECT_NEAR(p[5], 0.7f * std::cos(expected), 1e-4) << n;
            EXPECT_FLOAT_EQ(p[3], 0.75f * knob->GetColour().a);
        }
        // Every rim point lies on the circle, a fifth of a turn apart, the dark ones see-through.
        for (int i = 2; i <= 10; ++i)
        {
            const float* p = v + i * TW::RippleKnobRenderer::kFloatsPerVertex;
            EXPECT_NEAR(std::hypot(p[7] - 140.0f, p[8] - 60.0f), 20.0f, 1e-3);
            const float a = expected + (i - 1) * 0.2f * pi;
            EXPECT_NEAR(p[7], 140.0f + 20.0f * std::sin(a), 1e-3);
            EXPECT_EQ(p[3], 0.0f);
        }
    }
}

// A transposition knob moves in whole semitones.
TEST(EditorKnobRenderer, SemitoneKnobWritesWholeSemitones)
{
    TarnTest::TestInstance synth(48000.0, false);
    ALmanager manager(synth.get(), nullptr);
    manager.SetWindowSize(kWidth, kHeight);
    TW::RippleKnobRenderer renderer(&manager);
    const int semitones = ParamWithUnit(manager, TW::kUnitRelativeSemiTones);
    ASSERT_GE(semitones, 0);
    auto* knob = new TW::RippleKnob(&manager, semitones, nullptr, nullptr, &renderer, 0, 0, 40);
    manager.GetRoot()->AddChild(knob);
    manager.CreateControl(0, 0);
    EXPECT_TRUE(knob->IsIntegerValued());
    for (float dy : {3.0f, 7.0f, 13.0f, -21.0f})
    {
        manager.HandleMouseNoLoopDown({20, 20}, 0, 1, false);
        manager.HandleMouseNoLoopDragged({20, 20 + dy}, 0);
        manager.HandleMouseNoLoopUp({20, 20 + dy}, 0);
        const float v = manager.GetParameterValue(semitones);
        EXPECT_EQ(v, std::round(v)) << dy;
    }
}

// Hover and press send their ripples and cubes from the control's world centre, in the colours
// of the control; a button's plate takes its hover colour as target and back, and its action runs
// on release.
TEST(EditorRippleControls, HoverAndPressSendEffectsFromTheWorldCentre)
{
    TarnTest::TestInstance synth(48000.0, false);
    ALmanager manager(synth.get(), nullptr);
    manager.SetWindowSize(kWidth, kHeight);
    manager.SetFonts(TW::Font::Create({{TW::Font::DefaultFontFile(), 12}}), nullptr, nullptr);
    auto* ripples =
        static_cast<TW::Ripples*>(manager.AddEffect(new TW::Ripples(&manager, nullptr)));
    auto* vortex = static_cast<TW::Vortex*>(
        manager.AddEffect(new TW::Vortex(&manager, 0, 0, kWidth, kHeight)));
    auto* renderer = static_cast<TW::RippleKnobRenderer*>(
        manager.AddEffect(new TW::RippleKnobRenderer(&manager)));
    auto* group = new TW::Group(&manager);
    group->SetOffset(50.0f, 20.0f, 0.0f);
    manager.GetRoot()->AddChild(group);
    auto* knob = new TW::RippleKnob(&manager, 1, ripples, vortex, renderer, 0, 0, 40);
    group->AddChild(knob);
    int pressed = 0;
    auto* button = new TW::RippleButton(
        &manager, ripples, vortex, "Prefs", [](TW::Button*, void* n) { ++*static_cast<int*>(n); },
        &pressed, 100, 0, 60, 20, -2);
    group->AddChild(button);
    manager.CreateControl(0, 0);

    // The knob (world 50..90 x 20..60): hover gives a half-bright ripple, a press a full one and a
    // cube, both at (70, 40) with radius 20.
    manager.HandleMouseMove({70, 40});
    ASSERT_EQ(ripples->Count(), 1);
    EXPECT_FLOAT_EQ(ripples->Get(0).position.x, 70.0f);
    EXPECT_FLOAT_EQ(ripples->Get(0).position.y, 40.0f);
    EXPECT_FLOAT_EQ(ripples->Get(0).radius, 20.0f);
    EXPECT_FLOAT_EQ(ripples->Get(0).colour.a, 0.5f * knob->GetColour().a);
    EXPECT_FLOAT_EQ(ripples->Get(0).lifetime, 2.0f);
    EXPECT_FLOAT_EQ(ripples->Get(0).growth, 30.0f);
    manager.HandleMouseNoLoopDown({70, 40}, 0, 1, false);
    manager.HandleMouseNoLoopUp({70, 40}, 0);
    ASSERT_EQ(ripples->Count(), 2);
    EXPECT_FLOAT_EQ(ripples->Get(1).colour.a, knob->GetColour().a);
    ASSERT_EQ(vortex->CubeCount(), 1);
    EXPECT_FLOAT_EQ(vortex->GetCube(0).position.x, 70.0f);
    EXPECT_FLOAT_EQ(vortex->GetCube(0).position.y, 40.0f);

    // The button (world 150..210 x 20..40).
    EXPECT_EQ(button->GetTargetColour().a, TW::RippleButton::kRestColour.a);
    manager.HandleMouseMove({180, 30});
    ASSERT_EQ(ripples->Count(), 3);
    EXPECT_FLOAT_EQ(ripples->Get(2).position.x, 180.0f);
    EXPECT_FLOAT_EQ(ripples->Get(2).radius, 30.0f);
    EXPECT_FLOAT_EQ(ripples->Get(2).colour.b, TW::RippleButton::kRippleColour.b);
    EXPECT_EQ(manager.GetMouseOverParam(), -2); // its help text in the banner
    EXPECT_EQ(button->GetTargetColour().a, TW::RippleButton::kHoverColour.a);
    manager.HandleMouseNoLoopDown({180, 30}, 0, 1, false);
    EXPECT_EQ(vortex->CubeCount(), 2);
    EXPECT_EQ(pressed, 0);
    manager.HandleMouseNoLoopUp({400, 300}, 0); // released anywhere
    EXPECT_EQ(pressed, 1);
    manager.HandleMouseMove({250, 100});
    EXPECT_EQ(button->GetTargetColour().a, TW::RippleButton::kRestColour.a);

    // The button's text is centred in its world bounds among the banner font's texts.
    ASSERT_GE(button->GetTextIndex(), 0);
    EXPECT_EQ(manager.GetBannerText()->GetText(button->GetTextIndex()), "Prefs");
}

// The ripple texture made for the bundle draws a ring at about four fifths of the ripple's
// radius, clear at its centre and outside it; with eye candy off nothing shows.
TEST(EditorRippleControls, RippleTextureDrawsARing)
{
    TarnTest::TestInstance synth(48000.0, false);
    TW::OffscreenBridge bridge(kWidth, kHeight);
    ALmanager manager(synth.get(), &bridge);
    manager.SetWindowSize(kWidth, kHeight);
    TW::Texture* texture =
        manager.AddTexture(std::make_unique<TW::Texture>("ripple.png", "", TW::FindPluginBundle()));
    ASSERT_FALSE(texture->GetPath().empty());
    auto* ripples =
        static_cast<TW::Ripples*>(manager.AddEffect(new TW::Ripples(&manager, texture)));
    manager.CreateControl(0, 0);
    TW::Manager::ms_enableConstantRedraw = false;
    manager.CreateRenderTask();
    ASSERT_TRUE(bridge.WaitForFrames(1, 20000));
    ripples->Trigger(128, 64, TW::Vec4{1, 1, 1, 1}, 40.0f, 2.0f, 0.0f);
    Frame f;
    for (int frame = 0; frame < 11; ++frame) // past a sixth of its life: full brightness
    {
        const unsigned n = bridge.GetFrameCount();
        manager.NudgeGUI();
        ASSERT_TRUE(bridge.WaitForFrames(n + 1, 20000));
    }
    ASSERT_TRUE(bridge.CopyLastFrame(f.rgba, f.width, f.height));
    auto green = [&f](int x, int y) { return static_cast<int>(f.At(x, y)[1]); };
    for (int dx : {-31, 31})
    {
        EXPECT_GT(green(128 + dx, 64), 200) << dx;          // on the ring
        EXPECT_LT(green(128 + dx / 3, 64), 80) << dx;       // inside
        EXPECT_LT(green(128 + dx * 45 / 31, 64), 30) << dx; // outside the quad
    }
    EXPECT_GT(green(128, 64 + 31), 200);

    TW::Manager::ms_enableEyeCandy = false;
    const unsigned n = bridge.GetFrameCount();
    manager.NudgeGUI();
    ASSERT_TRUE(bridge.WaitForFrames(n + 1, 20000));
    ASSERT_TRUE(bridge.CopyLastFrame(f.rgba, f.width, f.height));
    EXPECT_LT(green(128 + 31, 64), 30);
    EXPECT_EQ(ripples->Count(), 1); // kept, not aged
    manager.DestroyRenderTask();
    TW::Manager::ms_enableEyeCandy = true;
    TW::Manager::ms_enableConstantRedraw = true;
}

// A launched cube is drawn in the 3D pass, in front of the background and behind the panel:
// the depth buffer is cleared every frame, so the cubes pass the depth test. With eye candy off
// none shows.
TEST(EditorRippleControls, VortexCubesShowInThePicture)
{
    TarnTest::TestInstance synth(48000.0, false);
    TW::OffscreenBridge bridge(kWidth, kHeight);
    ALmanager manager(synth.get(), &bridge);
    manager.SetWindowSize(kWidth, kHeight);
    auto* vortex = static_cast<TW::Vortex*>(
        manager.AddEffect(new TW::Vortex(&manager, kWidth / 2, kHeight / 2, kWidth, kHeight)));
    manager.CreateControl(0, 0);
    TW::Manager::ms_enableConstantRedraw = false;
    manager.CreateRenderTask();
    ASSERT_TRUE(bridge.WaitForFrames(1, 20000));
    // Grey pixels (the lit cube) around (x, y) where the background is blue alone.
    auto cubePixels = [&](int x, int y)
    {
        Frame f;
        EXPECT_TRUE(bridge.CopyLastFrame(f.rgba, f.width, f.height));
        int grey = 0;
        for (int dy = -10; dy <= 10; ++dy)
            for (int dx = -10; dx <= 10; ++dx)
                grey += f.At(x + dx, y + dy)[0] > 12 && f.At(x + dx, y + dy)[1] > 12;
        return grey;
    };
    auto frames = [&](int count)
    {
        for (int i = 0; i < count; ++i)
        {
            const unsigned n = bridge.GetFrameCount();
            manager.NudgeGUI();
            ASSERT_TRUE(bridge.WaitForFrames(n + 1, 20000));
        }
    };
    for (int x : {40, 200})
        vortex->Launch(static_cast<float>(x), 64.0f);
    frames(2);
    for (int x : {40, 200})
        EXPECT_GT(cubePixels(x, 64), 20) << x;
    TW::Manager::ms_enableEyeCandy = false;
    frames(1);
    for (int x : {40, 200})
        EXPECT_EQ(cubePixels(x, 64), 0) << x;
    manager.DestroyRenderTask();
    TW::Manager::ms_enableEyeCandy = true;
    TW::Manager::ms_enableConstantRedraw = true;
}

} // namespace
