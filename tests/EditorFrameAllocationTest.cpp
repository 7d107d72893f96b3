// Once the editor runs, its frames never touch the C++ heap: every call to the global operator
// new is counted while the drawing thread draws a full panel at the constant-redraw rate.
//
// Only operator new is counted: the software GL driver calls malloc on every frame for its own
// command buffers, which is the driver's business, not the editor's, whose code allocates only
// through operator new.
#include "editor/ALmanager.h"
#include "editor/Font.h"
#include "editor/RippleButton.h"
#include "editor/RippleKnob.h"
#include "editor/RippleKnobRenderer.h"
#include "editor/Ripples.h"
#include "editor/Texture.h"
#include "editor/Vortex.h"
#include "platform/Bundle.h"
#include "platform/offscreen/OffscreenBridge.h"
#include "support/EditorTestLayout.h"
#include "support/TestInstance.h"
#include "support/alloc/AllocationCounter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

TEST(EditorFrameAllocation, FramesAllocateNothing)
{
    TarnTest::TestInstance synth(48000.0, false);
    TW::OffscreenBridge bridge(512, 256);
    ALmanager manager(synth.get(), &bridge);
    TW::Manager::ms_enableConstantRedraw = true;
    TW::Manager::ms_enableTooltip = true;
    manager.SetWindowSize(512, 256);
    const std::string face = TW::Font::DefaultFontFile();
    manager.SetFonts(TW::Font::Create({{face, 12}}), TW::Font::Create({{face, 10}}),
                     TW::Font::Create({{face, 10}}));
    manager.SetBannerY(230);
    TarnTest::EditorLayout layout(manager);
    TW::NamedGroup* group = layout.Group("Amp");
    layout.Knob(0, 20, 20, 40, group);
    layout.Knob(33, 80, 20, 40, group);
    layout.Levels(140, 20, 160, 80);
    layout.EnvSelect(140, 110, 160, 60);
    layout.Waveform(320, 20, 160, 80);
    layout.EnvDisplay(1, 320, 110, 160, 60);
    layout.AdsrDisplay('f', 20, 110, 100, 60);
    layout.TextField(33, 20, 180, 60, 16);
    layout.Label("Velluna", 200, 200);
    // The effects: ripples, the vortex and the knob renderer with its knobs and a button.
    auto* ripples = static_cast<TW::Ripples*>(manager.AddEffect(
        new TW::Ripples(&manager, manager.AddTexture(std::make_unique<TW::Texture>(
                                      "ripple.png", "", TW::FindPluginBundle())))));
    auto* vortex =
        static_cast<TW::Vortex*>(manager.AddEffect(new TW::Vortex(&manager, 256, 128, 512, 256)));
    auto* knobs = static_cast<TW::RippleKnobRenderer*>(
        manager.AddEffect(new TW::RippleKnobRenderer(&manager)));
    for (int i = 0; i < 3; ++i)
        manager.GetRoot()->AddChild(
            new TW::RippleKnob(&manager, 26 + i, ripples, vortex, knobs, 320 + 50 * i, 190, 36));
    manager.GetRoot()->AddChild(new TW::RippleButton(&manager, ripples, vortex, "Prefs", nullptr,
                                                     nullptr, 440, 230, 60, 20, -2));
    manager.CreateControl(0, 0);
    manager.CreateRenderTask();
    ASSERT_TRUE(bridge.WaitForFrames(1, 20000));

    // Hover the Volume knob, so the read-out, its decibels and the tooltip are drawn; move a
    // level so the displays rebuild their lines; let the activity animate the background.
    // A ripple and a cube are drawn here first: the software GL driver compiles (with its own
    // C++ allocations) a pipeline for each new combination of GL state the first time it is
    // drawn.
    manager.HandleMouseMove(TW::Point{40, 40});
    ripples->Trigger(20.0f, 20.0f, TW::Vec4{1, 1, 1, 1}, 10.0f, 2.0f, 30.0f);
    vortex->Launch(20.0f, 20.0f);
    synth->GetDisplayBlock().activity.store(0.1f);
    ASSERT_TRUE(bridge.WaitForFrames(bridge.GetFrameCount() + 10, 20000));

    TarnTest::StartCountingOperatorNew();
    const unsigned start = bridge.GetFrameCount();
    // Written straight into the store, as a host's automation does, so that only the editor's
    // own work is counted.
    synth->Globals().SetValue(2, 0.5f, false);
    synth->Globals().SetValue(44, 1.0f, false);
    for (int i = 0; i < 4; ++i)
    {
        ripples->Trigger(100.0f * i, 50.0f, TW::Vec4{1, 1, 1, 1}, 10.0f, 2.0f, 30.0f);
        vortex->Launch(100.0f * i, 50.0f);
    }
    const bool drew = bridge.WaitForFrames(start + 30, 20000);
    const long allocations = TarnTest::StopCountingAllocations();
    if (const char* dir = std::getenv("VELLUNA_EDITOR_PICTURES"))
        bridge.WriteLastFramePng(std::string(dir) + "/panel.png");
    manager.DestroyRenderTask();
    TW::Manager::ms_enableTooltip = false;
    ASSERT_TRUE(drew);
    EXPECT_EQ(allocations, 0);
}
