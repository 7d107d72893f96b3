// The skin host: its error texts, the order in which skin and bundle scripts run, the guard
// around skin code, the user's skin from the preferences, and the shipped panel itself (every
// live parameter has a control, nothing overlaps or leaves the window).
#include "editor/ALmanager.h"
#include "editor/Button.h"
#include "editor/Control.h"
#include "editor/Group.h"
#include "editor/Label.h"
#include "editor/LuaGuiFunctions.h"
#include "editor/MultiControl.h"
#include "editor/NamedGroup.h"
#include "editor/PluginLuaGui.h"
#include "support/RecordingBridge.h"
#include "support/TestInstance.h"

#include "core/ParameterTable.h"
#include "core/Preferences.h"

#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

class DialogBridge : public TarnTest::RecordingBridge
{
public:
    void RunPropertyDialog(int property, int) override
    {
        dialogs += property == TW::ManagerPlatformBridge::kPreferencesDialog ? 1 : 100;
    }
    int dialogs = 0;
};

// A scratch folder for skins, user and local data and preferences, removed afterwards.
class Scratch
{
public:
    Scratch()
    {
        char pattern[] = "/tmp/velluna-luagui-XXXXXX";
        root = ::mkdtemp(pattern);
        ::setenv("XDG_DATA_HOME", (root / "user").c_str(), 1);
        ::setenv("VELLUNA_LOCAL_DATA_DIR", (root / "local").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    }
    ~Scratch()
    {
        for (const char* name : {"XDG_DATA_HOME", "VELLUNA_LOCAL_DATA_DIR", "XDG_CONFIG_HOME"})
            ::unsetenv(name);
        fs::remove_all(root);
    }
    // A skin folder holding "gui.lua" with the given text.
    std::string Skin(const fs::path& folder, const std::string& gui) const
    {
        const fs::path dir = root / folder;
        fs::create_directories(dir);
        std::ofstream(dir / "gui.lua") << gui;
        return dir.string();
    }
    fs::path root;
};

// A skin that builds nothing of its own (so the shipped panel's createUI stays out) and sizes
// its window, for running API calls one by one.
const char kQuietSkin[] = "function getWindowSize() return 400, 300 end\n"
                          "function createUI() end\n";

struct Editor
{
    explicit Editor(const std::string& skin, TW::PluginLuaGui::AboutCallback about = nullptr,
                    void* refcon = nullptr)
        : manager(synth.get(), &bridge), gui(synth.get(), skin, about, refcon)
    {
    }
    ~Editor() { gui.LuaShutdown(); }

    void Create()
    {
        gui.CreateUI(&manager);
        EXPECT_EQ(Depth(), 0) << "CreateUI left values on the skin's stack";
    }
    // Runs code as a skin chunk named "test"; "" on success, else the error text.
    std::string Run(const std::string& code)
    {
        lua_State* L = gui.GetLuaState();
        const int top = lua_gettop(L);
        std::string error;
        if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0 ||
            gui.ProtectedCall(0, 0) != 0)
            error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(not a string)";
        lua_settop(L, top);
        return error;
    }
    double Number(const std::string& expression)
    {
        lua_State* L = gui.GetLuaState();
        EXPECT_EQ(Run("result = " + expression), "");
        lua_getglobal(L, "result");
        const double value = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return value;
    }
    int Depth() { return gui.GetLuaState() ? lua_gettop(gui.GetLuaState()) : -1; }

    TarnTest::TestInstance synth{48000.0, false};
    DialogBridge bridge;
    ALmanager manager;
    TW::PluginLuaGui gui;
};

// Every element under group, depth first.
void Walk(const TW::Group* group, std::vector<TW::UIElement*>& out)
{
    for (TW::UIElement* child : group->Children())
    {
        out.push_back(child);
        if (auto* g = dynamic_cast<const TW::Group*>(child))
            Walk(g, out);
    }
}

bool Overlap(const TW::Bounds& a, const TW::Bounds& b)
{
    return a.minX < b.maxX && b.minX < a.maxX && a.minY < b.maxY && b.minY < a.maxY;
}

std::string Describe(const TW::Bounds& b)
{
    return "(" + std::to_string(b.minX) + ", " + std::to_string(b.minY) + ")-(" +
           std::to_string(b.maxX) + ", " + std::to_string(b.maxY) + ")";
}

TEST(LuaGui, EveryErrorTextOfTheSkinFunctions)
{
    Scratch scratch;
    Editor editor(scratch.Skin("quiet", kQuietSkin));
    editor.Create();
    const struct
    {
        const char* code;
        const char* error;
    } cases[] = {
        {"add(5)", "test:1: element expected"},
        {"add(texture('ripple.png'))",
         "test:1: bad argument #1 to 'add' (element expected, got userdata)"},
        {"local g = group('g'); g.add(label('a', 0, 0), label('b', 0, 0))",
         "test:1: group expected"},
        {"local l = label('a', 0, 0); l.setForegroundColour(textField('Volume', 0, 0, 9, 9), 1, "
         "1, 1, 1)",
         "test:1: label expected"},
        {"local t = textField('Volume', 0, 0, 9, 9); t.setTextColour(label('a', 0, 0), 1, 1, 1)",
         "test:1: textfield expected"},
        {"knob('Nope', 0, 0, 20)", "test:1: parameter not found: 'Nope'"},
        {"getParameterID('Level 17')", "test:1: parameter not found: 'Level 17'"},
        {"slider('Volume', 0, 0, 10, 10, 'diagonal')",
         "test:1: unknown slider orientation: diagonal"},
        {"slider('Volume', 0, 0, 10, 10, 'horizontal')", "test:1: no slider support"},
        {"slider('Volume', 0, 0, 10, 10, 'v')", "test:1: no slider support"},
        {"dropDown('Volume', 0, 0, 10, 10)", "test:1: no dropdown support"},
        {"button('Help', 'Help', 0, 0, 10, 10)", "test:1: button not found: Help"},
        {"luaButton('f', 'x', 'help', 'push', 0, 0, 10, 10)",
         "test:1: first argument to luaButton() is not a function"},
        {"ripples(5)", "test:1: texture expected"},
        {"ripples(group('g'))", "test:1: texture expected"},
        {"envDisplay(4, 0, 0, 10, 10)", "test:1: invalid env id 4"},
        {"envDisplay(0, 0, 0, 10, 10)", "test:1: invalid env id 0"},
        {"adsrEnvDisplay('sustain', 0, 0, 10, 10)", "test:1: invalid env id sustain"},
        {"knob('Volume', 0, 0, 20)", "test:1: couldn't get theKnobRenderer"},
        {"button('Prefs', 'Prefs', 0, 0, 10, 10)", "test:1: couldn't get theRipples"},
        {"theKnobRenderer = knobRenderer(); knob('Volume', 0, 0, 20)",
         "test:1: couldn't get theRipples"},
        {"theRipples = ripples(texture('ripple.png')); knob('Volume', 0, 0, 20)",
         "test:1: couldn't get theVortex"},
        {"theVortex = 5; knob('Volume', 0, 0, 20)",
         "test:1: bad argument #5 to 'knob' (TWgui.Vortex expected, got number)"},
        {"font(5)", "test:1: bad argument #1 to 'font' (function expected, got number)"},
        {"textField('Volume', 0, 0, 10, 10, '%s')",
         "test:1: textField format must format one number: %s"},
        {"textField('Volume', 0, 0, 10, 10, '%f %f')",
         "test:1: textField format must format one number: %f %f"},
        {"setParameter(181, 1)", "test:1: parameter out of range: 181"},
        {"setParameter(-1, 1)", "test:1: parameter out of range: -1"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(editor.Run(c.code), c.error) << c.code;
        EXPECT_EQ(editor.Depth(), 0) << c.code;
    }
    // With all three effects in place the same calls succeed.
    EXPECT_EQ(editor.Run("theVortex = vortex(0, 0, 400, 300); k = knob('Volume', 'x', 0, 0, 20); "
                         "b = button('Prefs', 'Prefs', 0, 0, 10, 10); add(k); add(b)"),
              "");
    EXPECT_EQ(editor.Run("textField('Volume', 0, 0, 10, 10, 'gain %+6.2f dB (100%%)')"), "");
}

TEST(LuaGui, ParametersByNameAndIndexAndTheirEdits)
{
    Scratch scratch;
    Editor editor(scratch.Skin("quiet", kQuietSkin));
    editor.Create();
    EXPECT_EQ(editor.Number("getParameter('Volume')"), editor.Number("getParameter(0)"));
    EXPECT_EQ(editor.Run("setParameter('Volume', 0.25)"), "");
    EXPECT_FLOAT_EQ(editor.Number("getParameter(0)"), 0.25f);
    EXPECT_EQ(editor.Run("setParameter(getParameterID('Filter Cutoff'), 2000)"), "");
    EXPECT_FLOAT_EQ(editor.Number("getParameter('Filter Cutoff')"), 2000.0f);
    EXPECT_FLOAT_EQ(editor.manager.GetParameterValue(139), 2000.0f);
    // Each edit is a complete gesture: nothing is left being edited.
    EXPECT_EQ(editor.manager.GetEditingParam(), -1);
    for (std::uint32_t id = 0; id < Tarn::kNumParams; ++id)
        EXPECT_EQ(
            editor.Number("getParameterID('" + std::string(Tarn::astParamInfos[id].name) + "')"),
            id);
    EXPECT_EQ(editor.Number("getChannelCount()"), 2);
    EXPECT_EQ(editor.Number("version"), 10101);
}

TEST(LuaGui, ElementsThatReferToNothingAndButtonCallbacks)
{
    Scratch scratch;
    int abouts = 0;
    auto about = [](void* refcon) { ++*static_cast<int*>(refcon); };
    Editor editor(scratch.Skin("quiet", kQuietSkin), about, &abouts);
    editor.Create();
    ASSERT_EQ(editor.Run("theKnobRenderer = knobRenderer(); theRipples = "
                         "ripples(texture('ripple.png')); theVortex = vortex(0, 0, 400, 300)"),
              "");
    // The property buttons give an Element of nothing: its methods act on nothing and report
    // false; adding it adds nothing.
    const std::size_t before = editor.manager.GetRoot()->Children().size();
    EXPECT_EQ(editor.Run("e = propertyButton(64008, 'x', 'a help text', 'toggle', 0, 0, 9, 9); "
                         "e:setVisible(true); e:setState(true); add(e); "
                         "shown = e:isVisible() or e:getState() or elementIsVisible(e); "
                         "t = propertyTriggerButton(64008, 'y', 'a help text', 0, 0, 9, 9); "
                         "elementSetVisible(t, true)"),
              "");
    EXPECT_EQ(editor.Number("shown and 1 or 0"), 0);
    EXPECT_EQ(editor.manager.GetRoot()->Children().size(), before);
    // Their help text is kept once.
    EXPECT_EQ(editor.manager.AddHelpString("a help text"),
              editor.manager.AddHelpString("a help text"));

    // A lua button runs its function on mouse-up; an error in it is dropped and the stack kept.
    ASSERT_EQ(editor.Run("presses = 0; "
                         "ok = luaButton(function() presses = presses + 1 end, 'Go', 'go', 'push', "
                         "10, 10, 40, 20); add(ok); "
                         "bad = luaButton(function() error('broken') end, 'No', 'no', 'toggle', "
                         "60, 10, 40, 20); add(bad); "
                         "prefs = button('Prefs', 'Prefs', 110, 10, 40, 20); add(prefs)"),
              "");
    auto click = [&](float x, float y)
    {
        editor.manager.HandleMouseNoLoopDown({x, y}, 0, 1, false);
        editor.manager.HandleMouseNoLoopUp({x, y}, 0);
    };
    editor.manager.SetWindowSize(400, 300);
    click(20, 20);
    click(20, 20);
    click(70, 20);
    EXPECT_EQ(editor.Depth(), 0);
    EXPECT_EQ(editor.Number("presses"), 2);
    // "Prefs" calls the about callback with its refcon.
    click(120, 20);
    EXPECT_EQ(abouts, 1);
    EXPECT_EQ(editor.bridge.dialogs, 0);
    // Once the interpreter is closed (the window closing) a lua button does nothing.
    editor.gui.LuaShutdown();
    click(20, 20);
    EXPECT_EQ(editor.gui.GetLuaState(), nullptr);
}

TEST(LuaGui, PrefsWithoutAnAboutCallbackAsksTheBridgeForThePreferences)
{
    Scratch scratch;
    Editor editor(scratch.Skin("quiet", kQuietSkin));
    editor.Create();
    ASSERT_EQ(editor.Run("theRipples = ripples(texture('ripple.png')); theVortex = vortex(0, 0, "
                         "1, 1); add(button('Prefs', 'Prefs', 0, 0, 50, 50))"),
              "");
    editor.manager.HandleMouseNoLoopDown({10, 10}, 0, 1, false);
    editor.manager.HandleMouseNoLoopUp({10, 10}, 0);
    EXPECT_EQ(editor.bridge.dialogs, 1);
}

TEST(LuaGui, SkinRunsBeforeTheBundleWhichKeepsWhatTheSkinDefined)
{
    Scratch scratch;
    // The skin sizes the window and colours the banner text; the bundle's panel does the rest.
    Editor editor(scratch.Skin("sized", "function getWindowSize() return 640, 320 end\n"
                                        "skinSawPanel = (createUI ~= nil)\n"));
    testing::internal::CaptureStdout();
    editor.Create();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(editor.manager.GetDesignWidth(), 640);
    EXPECT_EQ(editor.manager.GetDesignHeight(), 320);
    EXPECT_EQ(editor.Number("skinSawPanel and 1 or 0"), 0);      // the skin ran first
    EXPECT_GT(editor.manager.GetRoot()->Children().size(), 10u); // the bundle's createUI ran
}

TEST(LuaGui, ButtonLookupIsOnlyThereForCreateUI)
{
    Scratch scratch;
    // Top-level code runs before the lookup table exists.
    Editor editor(scratch.Skin("early", "button('Prefs', 'Prefs', 0, 0, 10, 10)\n"
                                        "function createUI() end\n"));
    testing::internal::CaptureStdout();
    editor.Create();
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind(
                  "@@@ failed to run buffer: gui.lua:1: no button lookup table\n", 0),
              0u);
}

TEST(LuaGui, BrokenOrRunawaySkinsLeaveTheBundledPanel)
{
    Scratch scratch;
    for (const char* gui : {"function getWindowSize() return 1, 1 end\nthis is not Lua\n",
                            "function getWindowSize() return 1, 1 end\nerror('at load')\n",
                            "function getWindowSize() return 1, 1 end\nwhile true do end\n"})
    {
        Editor editor(scratch.Skin("broken", gui));
        testing::internal::CaptureStdout();
        editor.Create();
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.rfind("@@@ failed to run buffer: gui.lua:", 0), 0u) << out;
        EXPECT_NE(out.find("failed to load: using the bundled skin"), std::string::npos) << out;
        // Nothing the skin defined before it failed survives: the window is the panel's.
        EXPECT_EQ(editor.manager.GetDesignWidth(), 1000) << gui;
        EXPECT_GT(editor.manager.GetRoot()->Children().size(), 10u) << gui;
        EXPECT_TRUE(editor.gui.GetSkinBundle().empty());
    }
    // The aborted loop is reported as such.
    Editor loop(scratch.Skin("loop", "function createUI() local n = 0 while true do n = n + 1 "
                                     "end end\n"));
    testing::internal::CaptureStdout();
    loop.Create();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(TW::LuaCallGuard::kRunawayMessage), std::string::npos) << out;
    EXPECT_EQ(loop.Run("x = 1"), ""); // the interpreter is usable afterwards
}

TEST(LuaGui, UserSkinFromThePreferenceUserDomainFirst)
{
    Scratch scratch;
    const std::string skins = "Tarnwick/Velluna/Skins/Dark";
    scratch.Skin(fs::path("local") / skins, "function getWindowSize() return 300, 200 end\n");
    const std::string user =
        scratch.Skin(fs::path("user") / skins, "function getWindowSize() return 320, 240 end\n");
    ASSERT_TRUE(Tarn::SetPrefString(Tarn::kPrefSkin, "Dark"));
    TarnTest::TestInstance synth(48000.0, false);
    EXPECT_EQ(TW::PluginLuaGui::FindUserSkin(synth.get()), user);
    DialogBridge bridge;
    ALmanager manager(synth.get(), &bridge);
    TW::PluginLuaGui gui(synth.get());
    EXPECT_EQ(gui.GetSkinBundle(), user);
    gui.CreateUI(&manager);
    EXPECT_EQ(manager.GetDesignWidth(), 320);
    // An unknown skin name leaves the bundled one.
    ASSERT_TRUE(Tarn::SetPrefString(Tarn::kPrefSkin, "Light"));
    EXPECT_EQ(TW::PluginLuaGui::FindUserSkin(synth.get()), "");
}

TEST(LuaGui, FontListsAndNumberFormats)
{
    Scratch scratch;
    Editor editor(scratch.Skin("fonts", std::string(kQuietSkin) +
                                            "function getFont() return {{name = 'no such face', "
                                            "size = 12}, {name = 'fonts/DejaVuSans.ttf', size = "
                                            "12}} end\n"
                                            "function getLabelFont() return 'not a list' end\n"
                                            "function getTextFieldFont() error('no') end\n"));
    testing::internal::CaptureStderr();
    editor.Create();
    testing::internal::GetCapturedStderr();
    ASSERT_NE(editor.manager.GetBannerFont(), nullptr); // the second face of the list
    EXPECT_EQ(editor.manager.GetLabelFont(), nullptr);
    EXPECT_EQ(editor.manager.GetTextFieldFont(), nullptr);
    for (const char* good : {"%f", "%.1f", "%+8.3e dB", "%g%%", "%-5.0f", "100%% %G"})
        EXPECT_TRUE(TW::LuaGuiFunctions::IsNumberFormat(good)) << good;
    for (const char* bad :
         {"", "%d", "%s", "%n", "%f%f", "%%", "%123f", "%.999f", "%*f", "%lf", "%"})
        EXPECT_FALSE(TW::LuaGuiFunctions::IsNumberFormat(bad)) << bad;
}

// The shipped panel: a control for every live parameter, all inside the window and below the
// banner, no two controls, captions or groups on top of one another.
TEST(LuaGuiPanel, EveryLiveParameterHasAControlAndNothingOverlaps)
{
    Scratch scratch;
    Editor editor("");
    editor.Create();
    ASSERT_EQ(editor.manager.GetDesignWidth(), 1000);
    ASSERT_EQ(editor.manager.GetDesignHeight(), 500);
    std::vector<TW::UIElement*> all;
    Walk(editor.manager.GetRoot(), all);

    std::set<int> controlled;
    std::vector<std::pair<TW::Bounds, std::string>> leaves, groups;
    for (TW::UIElement* e : all)
    {
        TW::Bounds b;
        e->GetWorldBounds(b);
        std::string what = typeid(*e).name();
        if (auto* c = dynamic_cast<TW::Control*>(e))
        {
            controlled.insert(c->GetParam().index);
            what += " " + c->GetParam().name;
        }
        if (auto* m = dynamic_cast<TW::MultiControl*>(e))
            for (int i = 0; i < m->GetCount(); ++i)
                controlled.insert(m->GetParam(i).index);
        if (auto* l = dynamic_cast<TW::Label*>(e))
            what += " \"" + l->GetText() + "\"";
        if (dynamic_cast<TW::NamedGroup*>(e))
            groups.emplace_back(b, what);
        else if (!dynamic_cast<TW::Group*>(e))
            leaves.emplace_back(b, what);
    }
    for (std::uint32_t id = 0; id < Tarn::kNumParams; ++id)
        if (Tarn::GetParamKind(id) == Tarn::ParamKind::Live)
        {
            EXPECT_TRUE(controlled.count(static_cast<int>(id)))
                << "no control for " << id << " " << Tarn::astParamInfos[id].name;
        }
    EXPECT_GT(leaves.size(), 140u);

    const float bannerBottom = editor.manager.GetBannerBounds().minY;
    for (const auto& [b, what] : leaves)
        EXPECT_TRUE(b.minX >= 0 && b.minY >= 0 && b.maxX <= 1000 && b.maxY <= bannerBottom)
            << what << " at " << Describe(b);
    for (std::size_t i = 0; i < leaves.size(); ++i)
        for (std::size_t j = i + 1; j < leaves.size(); ++j)
            EXPECT_FALSE(Overlap(leaves[i].first, leaves[j].first))
                << leaves[i].second << " at " << Describe(leaves[i].first) << " and "
                << leaves[j].second << " at " << Describe(leaves[j].first);
    // Group frames with room for their titles above them (half the banner font's line).
    const float title = editor.manager.GetBannerFont()->GetLineHeight() / 2;
    for (std::size_t i = 0; i < groups.size(); ++i)
    {
        const TW::Bounds& b = groups[i].first;
        EXPECT_TRUE(b.minX >= 0 && b.minY >= 0 && b.maxX <= 1000 && b.maxY + title <= bannerBottom)
            << groups[i].second << " at " << Describe(b);
        for (std::size_t j = i + 1; j < groups.size(); ++j)
        {
            TW::Bounds withTitle = groups[j].first;
            withTitle.maxY += title;
            EXPECT_FALSE(Overlap(b, withTitle)) << Describe(b) << " and " << Describe(withTitle);
        }
    }
}

} // namespace
