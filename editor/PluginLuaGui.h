// The instrument's skin host: a LuaGui that builds ripple knobs and ripple buttons, and offers
// the skin the instrument's effects (knob renderer, ripples, vortex), its slider banks and its
// displays. It also finds the user's skin (preference "Skin") and gives the skin its "Prefs"
// button.
//
// Threads: main (host UI) thread only, as LuaGui.
#pragma once

#include "LuaGui.h"

namespace TW
{

class PluginLuaGui : public LuaGui
{
public:
    // Metatable names of the instrument's effects.
    static const char kKnobRendererTag[]; // "TWgui.KnobRenderer"
    static const char kRipplesTag[];      // "TWgui.Ripples"
    static const char kVortexTag[];       // "TWgui.Vortex"
    // The help id of the "Prefs" button ("Preferences").
    static constexpr int kPrefsHelpId = -2;

    // Called by the "Prefs" button with its refcon.
    using AboutCallback = void (*)(void* refcon);

    // Reads the preference "Skin" and, when it names an installed skin, uses its bundle. Without
    // an about callback the "Prefs" button asks the editor's bridge for the preferences window
    // (RunPropertyDialog with kPreferencesDialog). Main thread.
    PluginLuaGui(MusicDeviceBase* instance, AboutCallback about = nullptr,
                 void* aboutRefcon = nullptr);
    // A given skin bundle (empty: none), without reading the preference. Main thread.
    PluginLuaGui(MusicDeviceBase* instance, std::string skinBundle, AboutCallback about,
                 void* aboutRefcon);

    UIElement* CreateKnob(lua_State* L, int paramIndex, float x, float y, float size) override;
    UIElement* CreateSlider(lua_State* L, int nargs, int paramIndex, bool horizontal, float x,
                            float y, float width, float height) override;
    UIElement* CreateButton(lua_State* L, int nargs, const char* text, Button::Callback callback,
                            void* refcon, float x, float y, float width, float height,
                            int helpId) override;
    UIElement* CreateLuaButton(lua_State* L, int nargs, const char* text, Button::Callback callback,
                               void* refcon, float x, float y, float width, float height,
                               int helpId, int type) override;
    UIElement* CreatePropertyTriggerButton(lua_State* L, int nargs, const char* text,
                                           Button::Callback callback, void* refcon, float x,
                                           float y, float width, float height, int helpId) override;
    UIElement* CreatePropertyButton(lua_State* L, int nargs, const char* text, int propertyId,
                                    float x, float y, float width, float height, int helpId,
                                    int type) override;
    UIElement* CreateDropDown(lua_State* L, int paramIndex, float x, float y, float width,
                              float height) override;

    // The skin bundle of the preference "Skin" for this instance; empty when the preference is
    // empty or names no installed skin. Main thread.
    static std::string FindUserSkin(MusicDeviceBase* instance);

protected:
    // The "Prefs" button, the instrument's functions and metatables.
    void RegisterFunctions(lua_State* L) override;

private:
    friend class PluginLuaGuiFunctions;

    static void PrefsCallback(Button* button, void* refcon);

    AboutCallback m_about;
    void* m_aboutRefcon;
};

} // namespace TW
