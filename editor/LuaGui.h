// The skin host of one editor: a Lua 5.1 interpreter of its own that runs the skin scripts
// ("gui.lua" of the skin bundle and of the plug-in's bundle, and their extra script) and offers
// them the global functions and metatables that build the editor's elements through its manager.
//
// Threads: main (host UI) thread only, while the window opens and from button callbacks (which
// run on mouse-up). The drawing thread never calls into Lua.
//
// Runaway skins. Every call into skin code (top-level code of each file, the skin's functions,
// button callbacks) goes through ProtectedCall, under the same LuaCallGuard as the MIDI scripts:
// an instruction and time budget per call, and the interpreter's memory capped in an arena of its
// own. A skin with an endless loop is aborted and the editor opens with what was made so far.
//
// The registry entries under kViewRefcon, kParamLookup and kButtonLookup are published for skin
// code to see, but nothing here reads pointers back from the registry (debug.getregistry exposes
// it): the host finds itself through the interpreter's allocator, and a registry entry is only
// checked for presence.
#pragma once

#include "Button.h"

#include "scripting/LuaCallGuard.h"
#include "scripting/ParameterNameLookup.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct lua_State;

namespace TW
{

class Font;
class Group;
class Manager;
class MusicDeviceBase;
class UIElement;

class LuaGui
{
public:
    // Registry keys: the addresses of these strings are light-userdata keys.
    static const char kViewRefcon[];   // "TWgui::kViewRefcon"
    static const char kParamLookup[];  // "TWgui::kParamLookup"
    static const char kButtonLookup[]; // "TWgui::kButtonLookup"
    // Metatable names (also their registry keys).
    static const char kGroupTag[];     // "TWgui.Group"
    static const char kElementTag[];   // "TWgui.Element"
    static const char kTextureTag[];   // "TWgui.Texture"
    static const char kFontTag[];      // "TWgui.Font"
    static const char kLabelTag[];     // "TWgui.Label"
    static const char kTextFieldTag[]; // "TWgui.TextField"
    // Bytes the skin's code may hold, and the reserve beyond it for the host's own pushes.
    static constexpr std::size_t kMemoryLimit = std::size_t{16} << 20;
    static constexpr std::size_t kHostReserve = std::size_t{1} << 20;

    // An entry of the button lookup table ("button" finds it by name).
    struct ButtonEntry
    {
        Button::Callback callback = nullptr;
        int helpId = 0;
    };

    // skinBundle: the folder of the user's skin, empty for none. Main thread.
    LuaGui(MusicDeviceBase* instance, std::string skinBundle);
    virtual ~LuaGui();

    LuaGui(const LuaGui&) = delete;
    LuaGui& operator=(const LuaGui&) = delete;

    // ---- Virtual operations (main thread). ----
    // Builds the interface for manager: runs the scripts, sets the fonts, registers the help
    // strings and the button lookup, asks the skin for its window size and runs its createUI.
    virtual void CreateUI(Manager* manager);
    // The create operations return the element made (null: an Element that refers to nothing)
    // or raise a Lua error in L.
    virtual UIElement* CreateKnob(lua_State* L, int paramIndex, float x, float y, float size) = 0;
    virtual UIElement* CreateSlider(lua_State* L, int nargs, int paramIndex, bool horizontal,
                                    float x, float y, float width, float height) = 0;
    virtual UIElement* CreateButton(lua_State* L, int nargs, const char* text,
                                    Button::Callback callback, void* refcon, float x, float y,
                                    float width, float height, int helpId) = 0;
    virtual UIElement* CreateLuaButton(lua_State* L, int nargs, const char* text,
                                       Button::Callback callback, void* refcon, float x, float y,
                                       float width, float height, int helpId, int type) = 0;
    virtual UIElement* CreatePropertyTriggerButton(lua_State* L, int nargs, const char* text,
                                                   Button::Callback callback, void* refcon, float x,
                                                   float y, float width, float height,
                                                   int helpId) = 0;
    virtual UIElement* CreatePropertyButton(lua_State* L, int nargs, const char* text,
                                            int propertyId, float x, float y, float width,
                                            float height, int helpId, int type) = 0;
    virtual UIElement* CreateDropDown(lua_State* L, int paramIndex, float x, float y, float width,
                                      float height) = 0;
    // Metatable names that count as elements besides Element, Label and TextField.
    virtual void AddUIElementTags() {}

    // ---- The interpreter (main thread). ----
    // Creates the interpreter and runs the scripts on first use; later calls return the same
    // state. When the skin's "gui.lua" fails to load or run, the interpreter is made again
    // without the skin. Null only when no interpreter could be made.
    lua_State* LuaInit();
    // Closes the interpreter; the element userdata die with it (the elements stay with the
    // manager). Later calls do nothing.
    void LuaShutdown();
    lua_State* GetLuaState() const noexcept { return m_guard.State(); }
    // Calls the function below nargs arguments under the guard (see the header comment);
    // returns the interpreter's status, the error value left on the stack on failure.
    int ProtectedCall(int nargs, int nresults = 0);
    std::size_t MemoryInUse() const noexcept { return m_guard.MemoryInUse(); }

    // The skin host of L, null for an interpreter not made by a LuaGui.
    static LuaGui* getRefCon(lua_State* L);
    // The index of a parameter's exact name; raises "parameter not found: '%s'" otherwise.
    static int getParam(lua_State* L, const char* name);
    // The element at index: null for the empty Element; raises "element expected" when the
    // value is not userdata and Lua's type error for "element" when it is other userdata.
    static UIElement* checkElement(lua_State* L, int index);
    // A full userdata holding p under the metatable tag, pushed on the stack.
    static void pushObject(lua_State* L, void* p, const char* tag);
    // The pointer held by the userdata at index when its metatable is tag; null otherwise.
    static void* testObject(lua_State* L, int index, const char* tag);

    // Adds a metatable name that counts as an element (from AddUIElementTags).
    void AddElementTag(const char* tag) { m_elementTags.emplace_back(tag); }
    // The button lookup table, given to the skin just before its createUI runs.
    void AddButton(const std::string& name, Button::Callback callback, int helpId);
    const std::map<std::string, ButtonEntry>& GetButtonLookup() const { return m_buttons; }

    Manager* GetManager() const noexcept { return m_manager; }
    MusicDeviceBase* GetInstance() const noexcept { return m_instance; }
    const std::string& GetSkinBundle() const noexcept { return m_skinBundle; }
    int GetParameterCount() const noexcept { return m_paramCount; }

    // "@@@ " and the formatted text on standard output.
    static void LuaError(const char* format, ...) __attribute__((format(printf, 1, 2)));

protected:
    // Called by LuaInit once the built-in functions and metatables are registered: a subclass
    // registers its own (PluginLuaGui's effects and displays).
    virtual void RegisterFunctions(lua_State* L) { (void)L; }
    // The font made from the font list returned by calling the global name; null when the
    // function is missing, fails or returns no list.
    std::unique_ptr<Font> CallFontFunction(const char* name);

    MusicDeviceBase* m_instance;
    Manager* m_manager = nullptr;
    std::string m_skinBundle;

private:
    friend class LuaGuiButtons;

    struct LuaButtonRecord
    {
        LuaGui* gui;
        int reference; // registry reference of the skin's function
    };
    struct PropertyTrigger
    {
        LuaGui* gui;
        int propertyId;
    };

    void ReadParameterTable();
    // A new interpreter with the built-in functions, metatables and registry entries.
    lua_State* NewState();
    // The scripts in their order; false when the skin's "gui.lua" failed (nothing after it ran).
    bool RunScripts();
    // Loads and runs one resource of bundle (empty: the plug-in's); a missing file is no
    // failure. False, with the error printed, when it failed to load or run.
    bool RunFile(const char* name, const std::string& bundle);
    void LuaCreateUI();
    static void LuaButtonCallback(Button* button, void* refcon);
    static void PropertyTriggerCallback(Button* button, void* refcon);

    LuaCallGuard m_guard{this, "skin scripts", kMemoryLimit, kHostReserve};
    ParameterNameLookup m_paramLookup;
    int m_paramCount = 0;
    std::map<std::string, ButtonEntry> m_buttons;
    std::vector<std::string> m_elementTags;
    std::vector<std::unique_ptr<LuaButtonRecord>> m_luaButtons;
    std::vector<std::unique_ptr<PropertyTrigger>> m_propertyTriggers;
};

} // namespace TW
