// The LV2 editor in a real host program: jalv.gtk3 loading the bundle through LV2_PATH against a
// dummy JACK server, on an Xvfb of the test's own. The panel must appear inside jalv's window,
// drawn, and a knob dragged there with real (XTest) input must reach jalv as a change of that
// control: jalv's own "Save" (File menu, driven like a user) writes the value it holds.
#include <gtest/gtest.h>

#include "JackDesktopTest.h"
#include "SkinKnobs.h"
#include "support/X11HostWindow.h"

#include "core/ParameterTable.h"
#include "plugins/driver/PluginParameterMap.h"

#include <jack/jack.h>
#include <signal.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <regex>
#include <string>
#include <thread>

using namespace VellunaHostTest;
using namespace std::chrono_literals;

namespace
{

// The top-level window with this name, or 0.
Window TopLevel(Display* display, const std::string& name)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        for (unsigned i = 0; i < count && !found; ++i)
            if (TarnTest::WindowName(display, children[i]) == name)
                found = children[i];
    if (children)
        XFree(children);
    return found;
}

// The viewable windows below `top` that have no children of their own and are larger than a
// toolkit's helper windows: inside jalv's window, only the embedded editor.
std::vector<Window> ViewableLeaves(Display* display, Window top)
{
    std::vector<Window> leaves;
    for (Window w : TarnTest::Descendants(display, top))
    {
        if (!TarnTest::Descendants(display, w).empty())
            continue;
        XWindowAttributes a{};
        if (XGetWindowAttributes(display, w, &a) && a.map_state == IsViewable && a.width > 100 &&
            a.height > 100)
            leaves.push_back(w);
    }
    return leaves;
}

void Click(Display* display, Window window, int x, int y)
{
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY,
                          &child);
    XTestFakeMotionEvent(display, -1, rootX, rootY, 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    XSync(display, False);
}

// The value jalv saved for the control with this symbol ("p12"), or NaN.
float SavedValue(const std::string& stateTtl, const std::string& symbol)
{
    const std::regex entry("lv2:symbol \"" + symbol + "\" ;\\s*pset:value ([-0-9.eE+]+)");
    std::smatch m;
    return std::regex_search(stateTtl, m, entry) ? std::stof(m[1].str())
                                                 : std::numeric_limits<float>::quiet_NaN();
}

class JalvEditorTest : public JackDesktopTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SetUpDesktop("velluna-jalv"));
        ::setenv("LV2_PATH", VELLUNA_LV2_PATH, 1);
    }
    void TearDown() override
    {
        m_jalv.reset();
        JackDesktopTest::TearDown();
    }

    std::unique_ptr<TarnTest::ChildProcess> m_jalv;
};

TEST_F(JalvEditorTest, ShowsThePanelInJalvsWindowAndAKnobDragChangesJalvsControl)
{
    // Where the knobs are, from an editor of this process, before jalv's windows appear.
    const KnobSpot knob = KnobBelowItsMaximum(ShippedSkinKnobs(m_server.Name()));
    ASSERT_GE(knob.id, 0) << "no knob of the shipped skin can move up";

    m_jalv = std::make_unique<TarnTest::ChildProcess>(
        std::vector<std::string>{"jalv.gtk3", "urn:tarnwick:velluna"}, m_folder + "/jalv.log");
    ASSERT_TRUE(m_jalv->Started());
    Window top = 0;
    std::vector<Window> editor;
    WaitFor(
        [&]
        {
            top = TopLevel(m_display, "Velluna");
            editor = top ? ViewableLeaves(m_display, top) : std::vector<Window>{};
            return editor.size() == 1;
        },
        20s);
    ASSERT_NE(top, 0u) << "jalv shows no window\n"
                       << TarnTest::ReadTextFile(m_folder + "/jalv.log");
    ASSERT_EQ(editor.size(), 1u) << "no editor window inside jalv's\n"
                                 << TarnTest::ReadTextFile(m_folder + "/jalv.log");
    const Window panel = editor[0];
    EXPECT_TRUE(WaitFor([&] { return TarnTest::Colours(m_display, panel) > 200; }, 10s))
        << "the panel is blank";

    TarnTest::Drag(m_display, panel, knob.x, knob.y, 0, -40, 4, [] {});
    std::this_thread::sleep_for(500ms); // jalv takes UI writes on its own update timer

    // File > Save, as a user does: the menu's first item, then a folder name in the dialog.
    Click(m_display, top, 15, 12);
    Window menu = 0;
    ASSERT_TRUE(WaitFor(
        [&]
        {
            for (Window w : TarnTest::Descendants(m_display, DefaultRootWindow(m_display)))
            {
                XWindowAttributes a{};
                if (w != top && XGetWindowAttributes(m_display, w, &a) &&
                    a.map_state == IsViewable && a.override_redirect && a.width > 40 &&
                    a.height > 20)
                    menu = w;
            }
            return menu != 0;
        },
        5s))
        << "jalv's File menu did not open";
    XWindowAttributes menuSize{};
    XGetWindowAttributes(m_display, menu, &menuSize);
    Click(m_display, menu, menuSize.width / 4, menuSize.height / 4);
    Window dialog = 0;
    ASSERT_TRUE(WaitFor([&] { return (dialog = TopLevel(m_display, "Save State")) != 0; }, 5s));
    // The dialog fills in its folder view and gives its name field the focus after mapping.
    std::this_thread::sleep_for(1500ms);
    TarnTest::ChildProcess focus({"xdotool", "windowfocus", "--sync", std::to_string(dialog)},
                                 m_folder + "/xdotool.log");
    EXPECT_EQ(focus.Wait(), 0);
    const std::string saved = m_folder + "/saved";
    TarnTest::ChildProcess type({"xdotool", "type", "--delay", "20", saved},
                                m_folder + "/xdotool.log");
    EXPECT_EQ(type.Wait(), 0);
    std::this_thread::sleep_for(1s); // the name field completes what was typed
    TarnTest::ChildProcess enter({"xdotool", "key", "Return"}, m_folder + "/xdotool.log");
    EXPECT_EQ(enter.Wait(), 0);
    ASSERT_TRUE(WaitFor([&] { return !TarnTest::ReadTextFile(saved + "/state.ttl").empty(); }, 10s))
        << "jalv saved no state";
    std::this_thread::sleep_for(200ms); // the file is complete
    const std::string state = TarnTest::ReadTextFile(saved + "/state.ttl");
    const float value = SavedValue(state, TW::PluginParameterMap::Symbol(knob.id));
    ASSERT_FALSE(std::isnan(value)) << "no value saved for parameter " << knob.id;
    EXPECT_GT(value, Tarn::astParamInfos[knob.id].defaultValue) << "parameter " << knob.id;
}

} // namespace
