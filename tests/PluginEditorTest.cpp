// The editor as the plug-ins open it, end to end under an Xvfb of its own: the shipped skin in a
// child of a host's window, drawn through GLX, its knobs dragged with real (XTest) input while
// the host listens for gestures; resized by the host and by the user; opened and closed again
// and again with the host destroying its window before or after.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "editor/Manager.h"
#include "plugins/editor/PluginEditor.h"
#include "support/PanelKnobs.h"
#include "support/TestInstance.h"
#include "support/X11HostWindow.h"
#include "support/X11PumpUntil.h"
#include "support/XvfbServer.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace
{

using namespace std::chrono_literals;

// What a host sees of the editor.
struct HostLog
{
    std::vector<std::pair<bool, int>> gestures; // (begin?, parameter)
    std::vector<std::pair<int, int>> resizeRequests;

    static void Begin(void* refcon, int id)
    {
        static_cast<HostLog*>(refcon)->gestures.emplace_back(true, id);
    }
    static void End(void* refcon, int id)
    {
        static_cast<HostLog*>(refcon)->gestures.emplace_back(false, id);
    }
    static void Resize(void* refcon, int width, int height)
    {
        static_cast<HostLog*>(refcon)->resizeRequests.emplace_back(width, height);
    }
    TW::PluginEditor::HostCallbacks Callbacks()
    {
        TW::PluginEditor::HostCallbacks callbacks;
        callbacks.beginGesture = &Begin;
        callbacks.endGesture = &End;
        callbacks.requestResize = &Resize;
        callbacks.refcon = this;
        return callbacks;
    }
};

using TarnTest::CollectKnobs;
using TarnTest::Colours;
using TarnTest::PumpUntil;
using TarnTest::WindowSize;

// Every end closes the gesture its begin opened, on the same parameter, and none is left open.
::testing::AssertionResult Paired(const std::vector<std::pair<bool, int>>& gestures)
{
    int open = -1;
    for (const auto& [begin, id] : gestures)
    {
        if (begin == (open >= 0) || (!begin && id != open))
            return ::testing::AssertionFailure()
                   << (begin ? "begin inside a gesture on " : "end without its begin on ") << id;
        open = begin ? id : -1;
    }
    if (open >= 0)
        return ::testing::AssertionFailure() << "gesture on " << open << " left open";
    return ::testing::AssertionSuccess();
}

class PluginEditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_server.Name().empty()) << "Xvfb did not start";
        m_host = XOpenDisplay(m_server.Name().c_str());
        ASSERT_TRUE(m_host);
    }
    void TearDown() override
    {
        if (m_host)
            XCloseDisplay(m_host);
    }
    Window MakeParent() { return TarnTest::CreateMappedWindow(m_host, 0, 0, 1100, 600); }

    TarnTest::XvfbServer m_server;
    Display* m_host = nullptr;
    TarnTest::TestInstance m_synth{48000.0, false};
};

TEST_F(PluginEditorTest, ShowsTheSkinAndEveryKnobDragIsOneGestureTheHostSees)
{
    const Window parent = MakeParent();
    HostLog log;
    TW::PluginEditor editor(*m_synth.get(), parent, 1, log.Callbacks(), "editor",
                            m_server.Name().c_str());
    ASSERT_TRUE(editor.IsOpen());
    int width = 0, height = 0, designWidth = 0, designHeight = 0;
    editor.GetSize(width, height);
    editor.GetDesignSize(designWidth, designHeight);
    EXPECT_GT(designWidth, 100);
    EXPECT_EQ(width, designWidth);
    EXPECT_EQ(height, designHeight);
    int shownWidth = 0, shownHeight = 0;
    EXPECT_TRUE(PumpUntil(editor, m_host,
                          [&]
                          {
                              WindowSize(m_host, editor.GetWindow(), shownWidth, shownHeight);
                              return shownWidth == width && shownHeight == height;
                          }))
        << shownWidth << " x " << shownHeight;

    // The panel draws: a picture of many colours, not a blank window.
    EXPECT_TRUE(PumpUntil(
        editor, m_host, [&] { return Colours(m_host, editor.GetWindow()) > 200; }, 5000ms));

    std::vector<const TW::Knob*> knobs;
    CollectKnobs(editor.GetManager()->GetRoot(), knobs);
    ASSERT_GE(knobs.size(), 4u);
    // Four knobs spread over the panel: each dragged up 40 pixels from its centre moves its own
    // parameter, inside one gesture on that parameter.
    for (std::size_t k = 0; k < knobs.size(); k += knobs.size() / 4)
    {
        const TW::Knob* knob = knobs[k];
        const int id = knob->GetParam().index;
        TW::Bounds b;
        knob->GetWorldBounds(b);
        const int x = static_cast<int>(b.CentreX());
        const int y = height - static_cast<int>(b.CentreY()); // X counts rows from the top
        m_synth.Set(id, knob->GetParam().minValue);
        const float before = m_synth->GetParameter(id);
        log.gestures.clear();
        XTestFakeMotionEvent(m_host, -1, x, y, 0);
        XTestFakeButtonEvent(m_host, 1, True, 0);
        for (int step = 1; step <= 4; ++step)
            XTestFakeMotionEvent(m_host, -1, x, y - 10 * step, 0);
        XTestFakeButtonEvent(m_host, 1, False, 0);
        EXPECT_TRUE(PumpUntil(
            editor, m_host,
            [&] { return log.gestures.size() == 2 && m_synth->GetParameter(id) > before; }))
            << "knob " << k << " on parameter " << id;
        EXPECT_TRUE(Paired(log.gestures));
        for (const auto& gesture : log.gestures)
            EXPECT_EQ(gesture.second, id);
    }
}

TEST_F(PluginEditorTest, ResizesKeepTheDesignShapeWithinTheCap)
{
    const Window parent = MakeParent();
    HostLog log;
    TW::PluginEditor editor(*m_synth.get(), parent, 1, log.Callbacks(), "editor",
                            m_server.Name().c_str());
    ASSERT_TRUE(editor.IsOpen());
    int designWidth = 0, designHeight = 0;
    editor.GetDesignSize(designWidth, designHeight);
    const double aspect = static_cast<double>(designWidth) / designHeight;

    // Whatever the host asks for, the panel takes the design's shape, at most 1024 x 512.
    for (const auto& [w, h] : {std::pair{500, 500},
                               {2000, 300},
                               {300, 2000},
                               {4000, 4000},
                               {designWidth / 2, 0},
                               {0, designHeight / 2},
                               {1, 1}})
    {
        int width = w, height = h;
        editor.AdjustSize(width, height);
        EXPECT_LE(width, 1024);
        EXPECT_LE(height, 512);
        EXPECT_NEAR(static_cast<double>(width) / height, aspect, 2.0 * aspect / height)
            << w << " x " << h << " became " << width << " x " << height;
        if (w > 16 && h > 16)
        {
            EXPECT_LE(width, w);
            EXPECT_LE(height, h);
        }
        EXPECT_EQ(editor.SetSize(width, height), true);
        int shownWidth = 0, shownHeight = 0;
        EXPECT_TRUE(PumpUntil(editor, m_host,
                              [&]
                              {
                                  WindowSize(m_host, editor.GetWindow(), shownWidth, shownHeight);
                                  return shownWidth == width && shownHeight == height;
                              }))
            << width << " x " << height << " shown as " << shownWidth << " x " << shownHeight;
    }
    EXPECT_FALSE(editor.SetSize(700, 700));  // not the design's shape: adjusted
    EXPECT_TRUE(log.resizeRequests.empty()); // the host's own resizes are not sent back

    // Twice the device pixels: the window doubles, the panel's size in points stays.
    editor.SetSize(designWidth / 2, 0);
    int width = 0, height = 0;
    editor.GetSize(width, height);
    editor.SetScale(2);
    int shownWidth = 0, shownHeight = 0;
    EXPECT_TRUE(PumpUntil(editor, m_host,
                          [&]
                          {
                              WindowSize(m_host, editor.GetWindow(), shownWidth, shownHeight);
                              return shownWidth == 2 * width && shownHeight == 2 * height;
                          }))
        << shownWidth << " x " << shownHeight;
}

// The standalone's top-level window: a window manager is told the panel's size is fixed (it
// could not follow a resize of the frame), and told again whenever the panel itself is resized.
TEST_F(PluginEditorTest, ATopLevelPanelTellsTheWindowManagerItsOnlySize)
{
    HostLog log;
    TW::PluginEditor editor(*m_synth.get(), 0, 1, log.Callbacks(), "Velluna",
                            m_server.Name().c_str());
    ASSERT_TRUE(editor.IsOpen());
    // The size a window manager may give the window, and the window's own size.
    auto expectFixedAtItsSize = [&](const char* when)
    {
        int shownWidth = 0, shownHeight = 0;
        ASSERT_TRUE(PumpUntil(editor, m_host,
                              [&]
                              {
                                  WindowSize(m_host, editor.GetWindow(), shownWidth, shownHeight);
                                  int w = 0, h = 0;
                                  editor.GetSize(w, h);
                                  return shownWidth == w * editor.GetScale() &&
                                         shownHeight == h * editor.GetScale();
                              }))
            << when;
        XSizeHints hints{};
        long supplied = 0;
        ASSERT_TRUE(XGetWMNormalHints(m_host, editor.GetWindow(), &hints, &supplied)) << when;
        ASSERT_EQ(hints.flags & (PMinSize | PMaxSize), PMinSize | PMaxSize) << when;
        EXPECT_EQ(hints.min_width, shownWidth) << when;
        EXPECT_EQ(hints.max_width, shownWidth) << when;
        EXPECT_EQ(hints.min_height, shownHeight) << when;
        EXPECT_EQ(hints.max_height, shownHeight) << when;
    };
    expectFixedAtItsSize("opened");
    int designWidth = 0, designHeight = 0;
    editor.GetDesignSize(designWidth, designHeight);
    ASSERT_TRUE(editor.SetSize(designWidth / 2, designHeight / 2));
    expectFixedAtItsSize("made smaller");
    editor.SetScale(2);
    expectFixedAtItsSize("at twice the device pixels");
}

TEST_F(PluginEditorTest, OpensAndClosesAgainWhateverTheHostDoesWithItsWindow)
{
    HostLog log;
    for (int round = 0; round < 24; ++round)
    {
        const Window parent = MakeParent();
        {
            TW::PluginEditor editor(*m_synth.get(), parent, 1, log.Callbacks(), "editor",
                                    m_server.Name().c_str());
            ASSERT_TRUE(editor.IsOpen()) << "round " << round;
            // Some rounds close at once, some after frames were drawn; the host destroys its
            // window before closing the editor in every other round.
            if (round % 3 != 0)
                PumpUntil(editor, m_host,
                          [&] {
                              return editor.GetManager()->GetFrameCount() >
                                     static_cast<unsigned>(round % 3);
                          });
            if (round % 2 == 0)
            {
                XDestroyWindow(m_host, parent);
                EXPECT_TRUE(PumpUntil(editor, m_host, [&] { return !editor.Idle(); }));
            }
        }
        if (round % 2 != 0)
            XDestroyWindow(m_host, parent);
        XSync(m_host, False);
    }
    EXPECT_TRUE(Paired(log.gestures));

    // No X server: one message, no editor, nothing else happens.
    TW::PluginEditor none(*m_synth.get(), 0, 1, log.Callbacks(), "editor", ":99999");
    EXPECT_FALSE(none.IsOpen());
    EXPECT_FALSE(none.Idle());
    EXPECT_EQ(none.GetWindow(), 0u);
}

} // namespace
