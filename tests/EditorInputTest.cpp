// Input routing through the editor manager with synthetic events, checked against the values a
// real instance holds afterwards.
#include "editor/ALmanager.h"
#include "support/EditorTestLayout.h"
#include "support/RecordingBridge.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace
{

using TW::Point;

constexpr unsigned kCommand = TW::kModifierCommand;
constexpr unsigned kShift = TW::kModifierShift;
constexpr unsigned kOption = TW::kModifierOption;

// Every begin and end gesture call, in order.
struct GestureLog
{
    struct Call
    {
        bool begin;
        int param;
    };
    std::vector<Call> calls;

    static void Begin(int param, void* refcon)
    {
        static_cast<GestureLog*>(refcon)->calls.push_back({true, param});
    }
    static void End(int param, void* refcon)
    {
        static_cast<GestureLog*>(refcon)->calls.push_back({false, param});
    }
    // Gestures alternate begin, end, each end naming the parameter its begin named; returns
    // the parameter still open, or -1.
    int CheckPaired() const
    {
        int open = -1;
        for (const Call& c : calls)
        {
            if (c.begin)
            {
                EXPECT_EQ(open, -1) << "begin of " << c.param << " while " << open << " is open";
                open = c.param;
            }
            else
            {
                EXPECT_EQ(open, c.param) << "end of " << c.param << " without its begin";
                open = -1;
            }
        }
        return open;
    }
};

class EditorInput : public ::testing::Test
{
protected:
    EditorInput() : synth(48000.0, false), manager(synth.get(), &bridge), layout(manager)
    {
        manager.SetEditCallbacks(&GestureLog::Begin, &GestureLog::End, &gestures);
        manager.SetWindowSize(512, 256);
    }

    float Value(int id) { return synth->GetParameter(id); }
    void Click(Point p, unsigned modifiers = 0, int clicks = 1)
    {
        manager.HandleMouseNoLoopDown(p, modifiers, clicks, false);
        manager.HandleMouseNoLoopUp(p, modifiers);
    }
    void Drag(Point from, Point to, unsigned modifiers = 0)
    {
        manager.HandleMouseNoLoopDown(from, modifiers, 1, false);
        manager.HandleMouseNoLoopDragged(to, modifiers);
        manager.HandleMouseNoLoopUp(to, modifiers);
    }

    TarnTest::TestInstance synth;
    TarnTest::RecordingBridge bridge;
    ALmanager manager;
    TarnTest::EditorLayout layout;
    GestureLog gestures;
};

constexpr int kAttackShape = 36;   // generic 0..1
constexpr int kAttack = 33;        // seconds 0..5
constexpr int kLevel1 = 1;         // linear gain -1..1, default 1
constexpr int kModulationOn = 162; // boolean

TEST_F(EditorInput, KnobDragCoarseFineAndShiftMidDrag)
{
    layout.Knob(kAttackShape, 100, 100, 40);
    manager.CreateControl(0, 0);
    const Point centre{120, 120};

    synth.Set(kAttackShape, 0.5f);
    Drag(centre, Point{120, 170});
    EXPECT_NEAR(Value(kAttackShape), 0.75f, 1e-6);

    synth.Set(kAttackShape, 0.5f);
    Drag(centre, Point{120, 170}, kShift);
    EXPECT_NEAR(Value(kAttackShape), 0.525f, 1e-6);

    // Shift pressed after 20 px: the drag restarts where shift is first seen and continues
    // from the value reached there with the fine step; releasing it returns to coarse steps.
    synth.Set(kAttackShape, 0.5f);
    manager.HandleMouseNoLoopDown(centre, 0, 1, false);
    manager.HandleMouseNoLoopDragged(Point{120, 140}, 0);
    EXPECT_NEAR(Value(kAttackShape), 0.6f, 1e-6);
    manager.HandleMouseNoLoopDragged(Point{120, 160}, kShift);
    EXPECT_NEAR(Value(kAttackShape), 0.6f, 1e-6);
    manager.HandleMouseNoLoopDragged(Point{120, 200}, kShift);
    EXPECT_NEAR(Value(kAttackShape), 0.62f, 1e-6);
    manager.HandleMouseNoLoopDragged(Point{120, 210}, 0);
    manager.HandleMouseNoLoopDragged(Point{120, 220}, 0);
    EXPECT_NEAR(Value(kAttackShape), 0.67f, 1e-6);
    manager.HandleMouseNoLoopUp(Point{120, 220}, 0);

    // The range ends clamp, and 200 px cover it whole.
    synth.Set(kAttackShape, 0.0f);
    Drag(centre, Point{120, 320});
    EXPECT_EQ(Value(kAttackShape), 1.0f);
    Drag(centre, Point{120, -400});
    EXPECT_EQ(Value(kAttackShape), 0.0f);
    EXPECT_EQ(gestures.CheckPaired(), -1);
}

TEST_F(EditorInput, WheelStepMovesLikeATenPointDrag)
{
    layout.Knob(139, 100, 100, 40); // "Filter Cutoff": Hertz, mapped exponentially
    manager.CreateControl(0, 0);
    synth.Set(139, 1000.0f);
    Drag(Point{120, 120}, Point{120, 130});
    const float dragged = Value(139);
    synth.Set(139, 1000.0f);
    manager.HandleMouseWheel(Point{120, 120}, 1.0f, 0);
    EXPECT_EQ(Value(139), dragged);
    EXPECT_GT(dragged, 1000.0f);
    manager.HandleMouseWheel(Point{120, 120}, -1.0f, 0);
    EXPECT_NEAR(Value(139), 1000.0f, 0.5f);
    // Wheel events while a button is held are dropped.
    manager.HandleMouseNoLoopDown(Point{120, 120}, 0, 1, false);
    const float held = Value(139);
    manager.HandleMouseWheel(Point{120, 120}, 3.0f, 0);
    EXPECT_EQ(Value(139), held);
    manager.HandleMouseNoLoopUp(Point{120, 120}, 0);
    EXPECT_EQ(gestures.CheckPaired(), -1);
}

TEST_F(EditorInput, DoubleClickAndCommandResetsAndBooleanToggle)
{
    layout.Knob(kLevel1, 100, 100, 40);
    layout.Knob(kModulationOn, 200, 100, 40);
    manager.CreateControl(0, 0);

    synth.Set(kLevel1, -0.3f);
    Click(Point{120, 120}, 0, 2);
    EXPECT_EQ(Value(kLevel1), 1.0f); // its default
    Click(Point{120, 120}, kCommand, 2);
    EXPECT_EQ(Value(kLevel1), 0.0f); // the raw value 0: the middle of -1..1
    synth.Set(kLevel1, -0.3f);
    Click(Point{120, 120}, kCommand, 1);
    EXPECT_EQ(Value(kLevel1), 1.0f);
    // A plain click on a continuous knob changes nothing.
    synth.Set(kLevel1, -0.3f);
    Click(Point{120, 120});
    EXPECT_EQ(Value(kLevel1), -0.3f);

    ASSERT_EQ(Value(kModulationOn), 0.0f);
    Click(Point{220, 120});
    EXPECT_EQ(Value(kModulationOn), 1.0f);
    Click(Point{220, 120});
    EXPECT_EQ(Value(kModulationOn), 0.0f);
    // Every write was inside a gesture of its parameter.
    EXPECT_EQ(gestures.CheckPaired(), -1);
    EXPECT_EQ(gestures.calls.size(), 12u);
}

TEST_F(EditorInput, LevelBankOptionDragKeepsTheFirstSlider)
{
    layout.Levels(0, 0, 320, 200); // 20 px per slider
    manager.CreateControl(0, 0);
    for (int i = 1; i <= 16; ++i)
        synth.Set(i, 0.0f);
    // Option held: the whole drag across five sliders writes only the first.
    manager.HandleMouseNoLoopDown(Point{10, 150}, kOption, 1, false);
    for (float x = 10; x <= 100; x += 5)
        manager.HandleMouseNoLoopDragged(Point{x, 150 + x / 10}, kOption);
    manager.HandleMouseNoLoopUp(Point{100, 160}, kOption);
    EXPECT_NEAR(Value(1), 160.0f / 200 * 2 - 1, 1e-5);
    for (int i = 2; i <= 16; ++i)
        EXPECT_EQ(Value(i), 0.0f) << i;
    // Without option each slider under the pointer takes the pointer's height in turn.
    Drag(Point{30, 100}, Point{70, 50});
    EXPECT_NEAR(Value(2), 0.0f, 1e-6);  // height 100: the middle
    EXPECT_NEAR(Value(4), -0.5f, 1e-6); // height 50
    EXPECT_EQ(Value(3), 0.0f);          // jumped over
    // Command-click resets to the default (Level 2's is 0, Level 1's is 1).
    Click(Point{10, 10}, kCommand);
    EXPECT_EQ(Value(1), 1.0f);
    EXPECT_EQ(gestures.CheckPaired(), -1);
}

TEST_F(EditorInput, EnvelopeSelectorsSnapToWholeChoices)
{
    layout.EnvSelect(0, 0, 320, 200);
    manager.CreateControl(0, 0);
    Click(Point{10, 110}); // 0.55 of the height: nearest choice 2 of 0..3
    EXPECT_EQ(Value(83), 2.0f);
    Click(Point{30, 20});
    EXPECT_EQ(Value(84), 0.0f);
    Click(Point{50, 199});
    EXPECT_EQ(Value(85), 3.0f);
}

TEST_F(EditorInput, TextFieldTypingArrowsAndCap)
{
    TW::TextField* field = layout.TextField(kAttack, 10, 10, 80, 20);
    manager.CreateControl(0, 0);
    Click(Point{50, 20});
    EXPECT_EQ(manager.GetKeyboardFocusElement(), field);
    EXPECT_EQ(bridge.focusRequests, 1);
    for (char c : std::string("1.25"))
        EXPECT_TRUE(manager.HandleKeypress(static_cast<unsigned char>(c)));
    EXPECT_TRUE(field->IsEditing());
    EXPECT_TRUE(manager.HandleKeypress(30)); // up: commit 1.25, then one step of the last digit
    EXPECT_NEAR(Value(kAttack), 1.26f, 1e-6);
    EXPECT_FALSE(field->IsEditing());

    // Down from a typed value with one decimal.
    for (char c : std::string("2.5"))
        manager.HandleKeypress(static_cast<unsigned char>(c));
    manager.HandleKeypress(31);
    EXPECT_NEAR(Value(kAttack), 2.4f, 1e-6);

    // Return commits; a second "." and letters are refused; backspace removes.
    for (char c : std::string("3.1.4"))
        manager.HandleKeypress(static_cast<unsigned char>(c));
    EXPECT_EQ(field->GetText(), "3.14");
    EXPECT_FALSE(manager.HandleKeypress('x'));
    manager.HandleKeypress(8);
    EXPECT_EQ(field->GetText(), "3.1");
    manager.HandleKeypress(13);
    EXPECT_NEAR(Value(kAttack), 3.1f, 1e-6);

    // At most 31 characters are kept.
    for (int i = 0; i < 40; ++i)
        manager.HandleKeypress('1');
    EXPECT_EQ(field->GetText(), std::string(31, '1'));
    // A typed value beyond the range is held at its end rather than reaching the engine.
    manager.HandleKeypress(3);
    EXPECT_EQ(Value(kAttack), 5.0f);

    // Losing the window's focus ends editing without committing.
    manager.HandleKeypress('4');
    manager.HandleWindowFocusRelinquish();
    EXPECT_EQ(Value(kAttack), 5.0f);
    EXPECT_EQ(manager.GetKeyboardFocusElement(), nullptr);
    EXPECT_FALSE(manager.HandleKeypress('4'));
    EXPECT_EQ(gestures.CheckPaired(), -1);
}

TEST_F(EditorInput, NamedGroupStaysLitWhileAKnobInsideIsHovered)
{
    TW::NamedGroup* group = layout.Group("Envelope");
    TW::Knob* knob = layout.Knob(kAttack, 100, 100, 40, group);
    layout.Knob(kAttackShape, 300, 100, 40);
    manager.CreateControl(0, 0);

    manager.HandleMouseMove(Point{95, 95}); // inside the margin, outside the knob
    EXPECT_TRUE(group->IsLit());
    EXPECT_EQ(manager.GetMouseOverParam(), -1);
    manager.HandleMouseMove(Point{120, 120});
    EXPECT_TRUE(group->IsLit());
    EXPECT_EQ(manager.GetMouseOverParam(), kAttack);
    EXPECT_EQ(manager.GetMouseOverElement(), knob);
    manager.HandleMouseMove(Point{95, 95});
    EXPECT_TRUE(group->IsLit());
    EXPECT_EQ(manager.GetMouseOverParam(), -1);
    manager.HandleMouseMove(Point{320, 120});
    EXPECT_FALSE(group->IsLit());
    EXPECT_EQ(manager.GetMouseOverParam(), kAttackShape);
    // Clicks never land on a group.
    Click(Point{95, 95});
    EXPECT_TRUE(gestures.calls.empty());
}

TEST_F(EditorInput, ResizeDragKeepsTheAspectAndStopsAt1024By512)
{
    layout.Knob(kAttackShape, 100, 100, 40);
    manager.CreateControl(0, 0);
    bridge.SetFrameSize(512, 256);
    // A window at its design size passes points unchanged.
    EXPECT_EQ(manager.ScaledMousePos(Point{123, 45}).x, 123.0f);

    manager.HandleMouseNoLoopDown(Point{510, 2}, 0, 1, false);
    manager.HandleMouseNoLoopDragged(Point{700, 2}, 0);
    EXPECT_EQ(bridge.width, 702);
    EXPECT_EQ(bridge.height, 351);
    manager.HandleMouseNoLoopDragged(Point{3000, 2}, 0);
    EXPECT_EQ(bridge.width, 1024);
    EXPECT_EQ(bridge.height, 512);
    // Downward drags grow the height, capped the same way.
    manager.HandleMouseNoLoopDragged(Point{510, -5000}, 0);
    EXPECT_EQ(bridge.width, 1024);
    EXPECT_EQ(bridge.height, 512);
    manager.HandleMouseNoLoopUp(Point{510, -5000}, 0);
    EXPECT_EQ(manager.GetViewWidth(), 1024);
    EXPECT_EQ(manager.GetSurfaceWidth(), 1024);
    EXPECT_EQ(bridge.resizes.load(), 0); // the drawing thread applies it

    // Points are now scaled back to design pixels: the knob is at twice its position.
    const Point p = manager.ScaledMousePos(Point{240, 240});
    EXPECT_EQ(p.x, 120.0f);
    EXPECT_EQ(p.y, 120.0f);
    synth.Set(kAttackShape, 0.5f);
    Drag(Point{240, 240}, Point{240, 340}); // 100 points = 50 design pixels
    EXPECT_NEAR(Value(kAttackShape), 0.75f, 1e-6);
}

// What a host does with the sizes: asks for the nearest one, then sets it. Whatever the design's
// shape, the nearest size is one the window takes as it is, of that shape to the pixel, within
// the cap and within what was asked.
TEST(EditorViewSize, ANearestSizeIsTakenUnchangedForAnyDesignShape)
{
    for (const auto& [dw, dh] :
         {std::pair{1000, 500}, {777, 391}, {1001, 499}, {640, 480}, {333, 1000}, {2000, 300}})
    {
        const double aspect = static_cast<double>(dw) / dh;
        for (int w = 0; w <= 1400; w += 7)
            for (int h : {0, 1, 15, 16, 100, 301, 499, 512, 700, 3000})
            {
                int width = w, height = h;
                TW::Manager::ConstrainViewSize(dw, dh, width, height);
                int again = width, againHeight = height;
                TW::Manager::ConstrainViewSize(dw, dh, again, againHeight);
                ASSERT_EQ(again, width) << dw << "x" << dh << " asked " << w << "x" << h;
                ASSERT_EQ(againHeight, height) << dw << "x" << dh << " asked " << w << "x" << h;
                ASSERT_LE(width, TW::Manager::kMaxWidth);
                ASSERT_LE(height, TW::Manager::kMaxHeight);
                ASSERT_GE(std::min(width, height), 16);
                // The height a width of this shape has, to the pixel.
                ASSERT_NEAR(height, width / aspect, 1.0) << dw << "x" << dh;
                // Inside what was asked, unless that is below the smallest window.
                if (w >= 64 && h >= 64 && std::min(width, height) > 16)
                {
                    ASSERT_LE(width, w);
                    ASSERT_LE(height, h);
                }
            }
    }
}

TEST_F(EditorInput, ReadOutTextsAndDecibels)
{
    manager.CreateControl(0, 0);
    char text[TW::Manager::kReadoutTextSize];
    synth.Set(0, 1.0f);
    manager.DrawParamValue(nullptr, 0, 0, 0, text);
    EXPECT_STREQ(text, "Volume 1.000 Gain +0.00 dB");
    synth.Set(0, 0.0f);
    manager.DrawParamValue(nullptr, 0, 0, 0, text);
    EXPECT_STREQ(text, "Volume 0.000 Gain -inf");
    synth.Set(0, 0.5f);
    manager.DrawParamValue(nullptr, 0, 0, 0, text);
    EXPECT_STREQ(text, "Volume 0.500 Gain -18.06 dB"); // 20 log10(0.5^3)

    char value[TW::Manager::kParamTextSize];
    manager.FormatParamValue(83, value); // named values
    EXPECT_STREQ(value, "None");
    synth.Set(45, 5.0f); // the instrument's own string
    manager.FormatParamValue(45, value);
    EXPECT_STREQ(value, "Inf");
    manager.FormatParamValue(kModulationOn, value);
    EXPECT_STREQ(value, "Off");
    synth.Set(169, 3.0f);
    manager.FormatParamValue(169, value);
    EXPECT_STREQ(value, "3");
    synth.Set(139, 1234.56f);
    manager.DrawParamValue(nullptr, 139, 0, 0, text);
    EXPECT_STREQ(text, "Filter Cutoff 1235 Hz");
    manager.DrawParamValue(nullptr, kModulationOn, 0, 0, text); // Boolean: no unit
    EXPECT_STREQ(text, "Modulation On/Off Off");
}

TEST_F(EditorInput, HelpStringIds)
{
    const char* list[] = {"Preferences", "Capture preset", nullptr};
    manager.SetHelpStrings(list);
    EXPECT_STREQ(manager.GetHelpString(-2), "Preferences");
    EXPECT_STREQ(manager.GetHelpString(-3), "Capture preset");
    EXPECT_EQ(manager.AddHelpString("Capture preset"), -3);
    EXPECT_EQ(manager.AddHelpString("Randomise"), -4);
    EXPECT_EQ(manager.AddHelpString("Randomise"), -4);
    EXPECT_EQ(manager.AddHelpString("Another"), -5);
    EXPECT_EQ(manager.GetHelpString(-6), nullptr);

    // A hovered button shows its help id in the banner.
    layout.Button("Prefs", nullptr, nullptr, 10, 10, 50, 20, -2);
    manager.CreateControl(0, 0);
    manager.HandleMouseMove(Point{20, 20});
    EXPECT_EQ(manager.GetMouseOverParam(), -2);
    manager.HandleMouseMove(Point{200, 200});
    EXPECT_EQ(manager.GetMouseOverParam(), -1);
}

TEST_F(EditorInput, ButtonActsOnReleaseWherever)
{
    int pressed = 0;
    layout.Button(
        "Go", [](TW::Button*, void* r) { ++*static_cast<int*>(r); }, &pressed, 10, 10, 50, 20, -2);
    manager.CreateControl(0, 0);
    manager.HandleMouseNoLoopDown(Point{20, 20}, 0, 1, false);
    EXPECT_EQ(pressed, 0);
    manager.HandleMouseNoLoopDragged(Point{300, 200}, 0);
    manager.HandleMouseNoLoopUp(Point{300, 200}, 0);
    EXPECT_EQ(pressed, 1);
}

// Random input over every kind of control: whatever the order of presses, drags, releases,
// wheel steps, keys and focus changes, gestures alternate begin/end per parameter and none is
// left open once the pointer is released or the window loses focus.
TEST_F(EditorInput, GesturesArePairedForAnyInput)
{
    layout.Knob(kAttackShape, 10, 10, 40);
    layout.Knob(kModulationOn, 60, 10, 40);
    layout.Levels(110, 10, 160, 100);
    layout.EnvSelect(280, 10, 160, 100);
    layout.TextField(kAttack, 10, 150, 80, 20);
    manager.CreateControl(0, 0);
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> x(0, 512), y(0, 256);
    const unsigned mods[] = {0, kShift, kOption, kCommand, kShift | kOption};
    bool down = false;
    for (int step = 0; step < 4000; ++step)
    {
        const Point p{x(rng), y(rng)};
        const unsigned m = mods[rng() % 5];
        switch (rng() % 8)
        {
        case 0:
            if (!down)
                manager.HandleMouseNoLoopDown(p, m, 1 + static_cast<int>(rng() % 2), false);
            down = true;
            break;
        case 1:
        case 2:
            if (down)
                manager.HandleMouseNoLoopDragged(p, m);
            break;
        case 3:
            if (down)
            {
                manager.HandleMouseNoLoopUp(p, m);
                EXPECT_EQ(manager.GetEditingParam(), -1);
                EXPECT_EQ(gestures.CheckPaired(), -1);
            }
            down = false;
            break;
        case 4:
            if (!down)
                manager.HandleMouseWheel(p, static_cast<float>(static_cast<int>(rng() % 5) - 2), m);
            break;
        case 5:
            manager.HandleKeypress("0123456789.-\x08\x0d\x1e\x1fx"[rng() % 17]);
            break;
        case 6:
            manager.HandleMouseMove(p);
            break;
        case 7:
            if (rng() % 4 == 0)
            {
                manager.HandleWindowFocusRelinquish();
                EXPECT_EQ(gestures.CheckPaired(), -1);
                down = false;
            }
            break;
        }
    }
    if (down)
        manager.HandleMouseNoLoopUp(Point{0, 0}, 0);
    EXPECT_EQ(gestures.CheckPaired(), -1);
    EXPECT_GT(gestures.calls.size(), 200u);
}

// For every parameter the instrument describes: normalised positions map into its range and
// back, exponentially for Hertz (equal steps are equal ratios), to whole numbers for indexed
// units, and the descriptions match the instrument's own.
TEST_F(EditorInput, ValueMappingRoundTripsForEveryParameter)
{
    ASSERT_EQ(manager.GetParameterCount(), 181);
    int described = 0;
    for (int id = 0; id < manager.GetParameterCount(); ++id)
    {
        const TW::ParameterDescription& p = manager.GetParameterDescription(id);
        TW::ParameterInfo info;
        if (synth->GetParameterInfo(TW::Scope::Global, id, info) != TW::kNoErr)
        {
            EXPECT_EQ(p.index, -1) << id;
            continue;
        }
        ++described;
        EXPECT_EQ(p.name, info.name);
        if (p.maxValue <= p.minValue)
            continue;
        for (int k = 0; k <= 20; ++k)
        {
            const float n = k / 20.0f;
            const float v = TW::AUParameterValueFromLinear(n, p);
            const float slack = 1e-5f * (p.maxValue - p.minValue);
            EXPECT_GE(v, p.minValue - slack) << p.name;
            EXPECT_LE(v, p.maxValue + slack) << p.name;
            if (p.unit == TW::kUnitIndexed)
                EXPECT_EQ(v, std::floor(v)) << p.name;
            else
                EXPECT_NEAR(TW::AUParameterValueToLinear(v, p), n, 1e-5) << p.name;
        }
        if (p.unit == TW::kUnitHertz)
        {
            const float a = TW::AUParameterValueFromLinear(0.2f, p);
            const float b = TW::AUParameterValueFromLinear(0.4f, p);
            const float c = TW::AUParameterValueFromLinear(0.6f, p);
            EXPECT_NEAR(b / a, c / b, 1e-4 * (c / b)) << p.name;
        }
    }
    EXPECT_EQ(described, 140 + 32); // the live and the reserved ones
}

TEST_F(EditorInput, HiddenGroupsTakeNoInput)
{
    TW::NamedGroup* group = layout.Group("Hidden");
    layout.Knob(kAttackShape, 100, 100, 40, group);
    manager.CreateControl(0, 0);
    group->SetVisible(false);
    synth.Set(kAttackShape, 0.5f);
    Drag(Point{120, 120}, Point{120, 170});
    EXPECT_EQ(Value(kAttackShape), 0.5f);
    manager.HandleMouseMove(Point{120, 120});
    EXPECT_EQ(manager.GetMouseOverParam(), -1);
    group->SetVisible(true);
    Drag(Point{120, 120}, Point{120, 170});
    EXPECT_NEAR(Value(kAttackShape), 0.75f, 1e-6);
}

} // namespace
