// The host UI thread driving the editor while its drawing thread draws every 33 ms: input,
// hover, edits from elsewhere, resizes and label redraws race only through plain values and the
// event bits. Run under ThreadSanitizer.
#include "editor/ALmanager.h"
#include "editor/Font.h"
#include "platform/offscreen/OffscreenBridge.h"
#include "support/EditorTestLayout.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

TEST(EditorManagerThread, InputWhileDrawing)
{
    TarnTest::TestInstance synth(48000.0, false);
    TW::OffscreenBridge bridge(320, 160);
    ALmanager manager(synth.get(), &bridge);
    TW::Manager::ms_enableConstantRedraw = true;
    TW::Manager::ms_enableTooltip = true;
    manager.SetWindowSize(320, 160);
    const std::string face = TW::Font::DefaultFontFile();
    manager.SetFonts(TW::Font::Create({{face, 10}}), TW::Font::Create({{face, 9}}),
                     TW::Font::Create({{face, 9}}));
    manager.SetBannerY(145);
    TarnTest::EditorLayout layout(manager);
    TW::NamedGroup* group = layout.Group("Filter");
    layout.Knob(139, 20, 20, 30, group);
    layout.Knob(162, 60, 20, 30, group);
    layout.Levels(110, 10, 96, 60);
    layout.EnvSelect(110, 80, 96, 50);
    layout.Waveform(220, 10, 90, 60);
    layout.EnvDisplay(2, 220, 80, 90, 50);
    layout.TextField(33, 20, 100, 60, 14);
    layout.Label("Velluna", 60, 140);
    manager.CreateControl(0, 0);
    manager.CreateRenderTask();
    ASSERT_TRUE(bridge.WaitForFrames(1, 60000));

    // Another thread changes parameters as automation would.
    std::atomic<bool> running{true};
    std::thread automation(
        [&]
        {
            float v = 0.0f;
            while (running.load())
            {
                synth.Set(2, v);
                synth.Set(57, v + 1.0f);
                synth->GetDisplayBlock().activity.store(v);
                v = v > 0.9f ? 0.0f : v + 0.01f;
                std::this_thread::yield();
            }
        });

    std::mt19937 rng(7);
    std::uniform_real_distribution<float> x(0, 320), y(0, 160);
    const unsigned start = bridge.GetFrameCount();
    for (int step = 0; step < 3000 || bridge.GetFrameCount() < start + 20; ++step)
    {
        const TW::Point p{x(rng), y(rng)};
        switch (rng() % 6)
        {
        case 0:
            manager.HandleMouseMove(p);
            break;
        case 1:
            manager.HandleMouseNoLoopDown(p, 0, 1, false);
            manager.HandleMouseNoLoopDragged(TW::Point{p.x, p.y + 5}, TW::kModifierShift);
            manager.HandleMouseNoLoopUp(TW::Point{p.x, p.y + 5}, 0);
            break;
        case 2:
            manager.HandleMouseWheel(p, 1.0f, 0);
            break;
        case 3:
            manager.HandleKeypress("0123.\x1e\x0d"[rng() % 7]);
            break;
        case 4:
            if (step % 500 == 0)
            {
                manager.HandleMouseNoLoopDown(TW::Point{318, 2}, 0, 1, false);
                manager.HandleMouseNoLoopDragged(TW::Point{318 + x(rng) / 4, 2}, 0);
                manager.HandleMouseNoLoopUp(TW::Point{318, 2}, 0);
            }
            break;
        case 5:
            if (step % 200 == 0)
                manager.RequestRedrawLabels();
            manager.NudgeGUI();
            break;
        }
        if (step % 100 == 0)
            std::this_thread::yield();
    }
    running = false;
    automation.join();
    manager.HandleWindowFocusRelinquish();
    manager.DestroyRenderTask();
    TW::Manager::ms_enableTooltip = false;
    EXPECT_GE(bridge.GetFrameCount(), start + 20);
    EXPECT_EQ(manager.GetEditingParam(), -1);
}
