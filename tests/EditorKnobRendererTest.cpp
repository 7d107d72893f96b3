// The knob renderer, ripple knobs and ripple buttons: geometry of the knobs' fans, the vertex
// program read from the bundle (and the unshaded knobs without it), and pictures rendered
// off-screen.
#include "editor/ALmanager.h"
#include "editor/Group.h"
#include "editor/RippleButton.h"
#include "editor/RippleKnob.h"
#include "editor/RippleKnobRenderer.h"
#include "editor/Ripples.h"
#include "editor/Vortex.h"
#include "platform/offscreen/OffscreenBridge.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

TEST(EditorKnobRenderer, PicturesForLooking)
{
    RenderKnobs("", {{0, 0.0f}, {36, 0.5f}, {26, 1.0f}}, nullptr, nullptr, "/tmp/knobs-shaded.png");
    TempBundle none(nullptr);
    RenderKnobs(none.path, {{0, 0.0f}, {36, 0.5f}, {26, 1.0f}}, nullptr, nullptr,
                "/tmp/knobs-unshaded.png");
}

} // namespace
