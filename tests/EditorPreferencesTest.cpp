// The preferences window's contents: toggles that every open editor follows at once and that
// are stored, and the OSC base port field, which takes whole numbers only and is applied when the
// window closes.
#include "core/Preferences.h"
#include "core/TarnAdditiveSynth.h"
#include "editor/ALmanager.h"
#include "editor/CheckBox.h"
#include "editor/IntegerField.h"
#include "editor/PreferencesPanel.h"
#include "osc/OSCHelper.h"
#include "platform/offscreen/OffscreenBridge.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

// An open editor of its own instrument, drawing off-screen.
struct Editor
{
    TarnTest::TestInstance synth{48000.0, false};
    TW::OffscreenBridge bridge{200, 100};
    ALmanager manager{synth.get(), &bridge};

    Editor()
    {
        manager.SetWindowSize(200, 100);
        manager.CreateControl(0, 0);
        manager.CreateRenderTask();
    }
    ~Editor() { manager.DestroyRenderTask(); }
};

class EditorPreferences : public ::testing::Test
{
protected:
    EditorPreferences()
    {
        char pattern[] = "/tmp/velluna-prefs-XXXXXX";
        config = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        savedBase = g_OSCBasePort.load();
        g_OSCBasePort.store(7000);
    }
    ~EditorPreferences() override
    {
        window.reset();
        panel.reset();
        g_OSCBasePort.store(savedBase);
        TW::Manager::ms_enableEyeCandy = true;
        TW::Manager::ms_enableConstantRedraw = true;
        TW::Manager::ms_enableTooltip = false;
        ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(config);
    }
    // The preferences window, opened from editor.
    void Open(TW::Manager* editor)
    {
        window = std::make_unique<TW::Manager>(nullptr, &windowBridge);
        panel = std::make_unique<TW::PreferencesPanel>(window.get(), editor);
        window->CreateControl(0, 0);
    }
    void Click(TW::PreferencesPanel::Toggle which)
    {
        TW::Bounds b;
        panel->GetCheckBox(which)->GetWorldBounds(b);
        window->HandleMouseNoLoopDown({b.CentreX(), b.CentreY()}, 0, 1, false);
        window->HandleMouseNoLoopUp({b.CentreX(), b.CentreY()}, 0);
    }
    void Type(const char* keys)
    {
        for (const char* k = keys; *k; ++k)
            window->HandleKeypress(static_cast<unsigned char>(*k));
    }

    fs::path config;
    int savedBase = 0;
    TW::OffscreenBridge windowBridge{TW::PreferencesPanel::kWidth, TW::PreferencesPanel::kHeight};
    std::unique_ptr<TW::Manager> window;
    std::unique_ptr<TW::PreferencesPanel> panel;
};

TEST_F(EditorPreferences, TogglesReachEveryOpenEditorAtOnceAndAreStored)
{
    // Editors that sleep between events: only a nudge makes them draw.
    ASSERT_TRUE(Tarn::SetPrefInt(Tarn::kPrefEnableConstantRedraw, 0));
    Editor a, b;
    ASSERT_FALSE(TW::Manager::ms_enableConstantRedraw);
    ASSERT_TRUE(a.bridge.WaitForFrames(1, 20000));
    ASSERT_TRUE(b.bridge.WaitForFrames(1, 20000));
    Open(&a.manager);
    EXPECT_TRUE(panel->GetCheckBox(TW::PreferencesPanel::kEyeCandy)->IsChecked());
    EXPECT_FALSE(panel->GetCheckBox(TW::PreferencesPanel::kConstantRedraw)->IsChecked());

    unsigned framesA = a.bridge.GetFrameCount(), framesB = b.bridge.GetFrameCount();
    Click(TW::PreferencesPanel::kEyeCandy);
    EXPECT_FALSE(TW::Manager::ms_enableEyeCandy);
    EXPECT_EQ(Tarn::GetPrefInt(Tarn::kPrefEnableEyeCandy, -1), 0);
    // Both editors draw a frame with eye candy off, the one that did not open the window too.
    EXPECT_TRUE(a.bridge.WaitForFrames(framesA + 1, 20000));
    EXPECT_TRUE(b.bridge.WaitForFrames(framesB + 1, 20000));

    // Constant redraw on: both editors keep drawing with no further event.
    Click(TW::PreferencesPanel::kConstantRedraw);
    EXPECT_TRUE(TW::Manager::ms_enableConstantRedraw);
    EXPECT_EQ(Tarn::GetPrefInt(Tarn::kPrefEnableConstantRedraw, -1), 1);
    framesA = a.bridge.GetFrameCount();
    framesB = b.bridge.GetFrameCount();
    EXPECT_TRUE(a.bridge.WaitForFrames(framesA + 4, 20000));
    EXPECT_TRUE(b.bridge.WaitForFrames(framesB + 4, 20000));

    Click(TW::PreferencesPanel::kTooltip);
    EXPECT_TRUE(TW::Manager::ms_enableTooltip);
    EXPECT_EQ(Tarn::GetPrefInt(Tarn::kPrefEnableFloatingTooltip, -1), 1);
    Click(TW::PreferencesPanel::kTooltip);
    EXPECT_FALSE(TW::Manager::ms_enableTooltip);
    EXPECT_EQ(Tarn::GetPrefInt(Tarn::kPrefEnableFloatingTooltip, -1), 0);

    // A press on a box released outside it changes nothing.
    TW::Bounds box;
    panel->GetCheckBox(TW::PreferencesPanel::kEyeCandy)->GetWorldBounds(box);
    window->HandleMouseNoLoopDown({box.CentreX(), box.CentreY()}, 0, 1, false);
    window->HandleMouseNoLoopUp({box.maxX + 40, box.CentreY()}, 0);
    EXPECT_FALSE(TW::Manager::ms_enableEyeCandy);

    // The values stored are those the next editor starts with.
    TW::Manager::ms_enableEyeCandy = true;
    Editor c;
    EXPECT_FALSE(TW::Manager::ms_enableEyeCandy);
    EXPECT_TRUE(TW::Manager::ms_enableConstantRedraw);
}

TEST_F(EditorPreferences, PortFieldTakesWholeNumbersAndAppliesOnClose)
{
    TarnTest::TestInstance synth(48000.0, false);
    ALmanager editor(synth.get(), nullptr);
    ASSERT_EQ(synth.Set(180, 5.0f), 0);
    Open(&editor);
    int beeps = 0;
    panel->GetPortField()->SetRefusedCallback([](void* n) { ++*static_cast<int*>(n); }, &beeps);
    TW::IntegerField* field = panel->GetPortField();
    EXPECT_EQ(field->GetText(), "7000");
    EXPECT_EQ(window->GetKeyboardFocusElement(), field);

    Type("\b\b\b\b");
    EXPECT_EQ(field->GetText(), "");
    // Letters, signs, decimal points and separators are refused; so is a number past 65535.
    Type("a9-1.,0 0e");
    EXPECT_EQ(field->GetText(), "9100");
    EXPECT_EQ(beeps, 6);
    Type("0");
    EXPECT_EQ(field->GetText(), "9100");
    EXPECT_EQ(beeps, 7);
    EXPECT_EQ(field->GetRefusedCount(), 7);
    Type("\b\b\b\b0");
    EXPECT_EQ(field->GetText(), "0");

    // A port of 0 is not stored and changes nothing.
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(panel->Close());
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("not stored"), std::string::npos);
    EXPECT_EQ(Tarn::GetPrefInt(Tarn::kPrefOSCBasePort, -1), -1);
    EXPECT_EQ(g_OSCBasePort.load(), 7000);
    EXPECT_EQ(synth->OSC().GetPort(), 7005);

    // A typed digit replaces a lone zero; up and down step by one.
    Type("9101");
    EXPECT_EQ(field->GetText(), "9101");
    window->HandleKeypress(31);
    EXPECT_EQ(field->GetText(), "9100");
    EXPECT_TRUE(panel->Close());
    EXPECT_EQ(Tarn::GetPrefInt(Tarn::kPrefOSCBasePort, -1), 9100);
    EXPECT_EQ(g_OSCBasePort.load(), 9100);
    // The instrument re-opened its port on the new base with its own offset.
    EXPECT_EQ(synth->OSC().GetPort(), 9105);
    EXPECT_EQ(editor.GetParameterValue(180), 5.0f);
}

// The boxes show the switches as they are at each frame, whoever changed them.
TEST_F(EditorPreferences, BoxesDrawTheCurrentSwitches)
{
    Open(nullptr);
    TW::Manager::ms_enableConstantRedraw = false;
    window->CreateRenderTask();
    ASSERT_TRUE(windowBridge.WaitForFrames(1, 20000));
    auto centre = [&](TW::PreferencesPanel::Toggle which)
    {
        std::vector<std::uint8_t> rgba;
        int w = 0, h = 0;
        EXPECT_TRUE(windowBridge.CopyLastFrame(rgba, w, h));
        TW::Bounds b;
        panel->GetCheckBox(which)->GetWorldBounds(b);
        const int x = static_cast<int>(b.CentreX()), y = h - 1 - static_cast<int>(b.CentreY());
        return rgba[(static_cast<std::size_t>(y) * w + x) * 4]; // red: high only when filled
    };
    EXPECT_GT(centre(TW::PreferencesPanel::kEyeCandy), 100);
    EXPECT_LT(centre(TW::PreferencesPanel::kConstantRedraw), 100);
    TW::Manager::ms_enableEyeCandy = false;
    TW::Manager::ms_enableConstantRedraw = true;
    const unsigned frames = windowBridge.GetFrameCount();
    window->NudgeGUI();
    ASSERT_TRUE(windowBridge.WaitForFrames(frames + 1, 20000));
    EXPECT_LT(centre(TW::PreferencesPanel::kEyeCandy), 100);
    EXPECT_GT(centre(TW::PreferencesPanel::kConstantRedraw), 100);
    window->DestroyRenderTask();
}

} // namespace
