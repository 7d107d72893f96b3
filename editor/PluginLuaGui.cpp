#include "PluginLuaGui.h"

#include "AdditiveWaveform.h"
#include "EnvDisplay.h"
#include "EnvSelMultiSlider.h"
#include "LevelsMultiSlider.h"
#include "Manager.h"
#include "ManagerPlatformBridge.h"
#include "RippleButton.h"
#include "RippleKnob.h"
#include "RippleKnobRenderer.h"
#include "Ripples.h"
#include "SkinBundle.h"
#include "Texture.h"
#include "Vortex.h"

#include "core/Preferences.h"
#include "core/TarnAdditiveSynth.h"
#include "platform/MusicDeviceBase.h"

#include <lua.hpp>

namespace TW
{

const char PluginLuaGui::kKnobRendererTag[] = "TWgui.KnobRenderer";
const char PluginLuaGui::kRipplesTag[] = "TWgui.Ripples";
const char PluginLuaGui::kVortexTag[] = "TWgui.Vortex";

namespace
{

// The partial levels and envelope selectors, the six-stage envelopes and the ADSR blocks.
constexpr int kFirstLevel = 1;      // "Level 1".."Level 16"
constexpr int kFirstEnvSelect = 83; // "Env Select 1".."Env Select 16"
constexpr int kPartialCount = 16;
constexpr int kPulseWidth = 127;      // "Pulse Width"
constexpr int kAmpAttack = 33;        // "Attack"
constexpr int kPWEnvAttack = 130;     // "PW Env Attack"
constexpr int kFilterEnvAttack = 145; // "Filter Env Attack"

float Arg(lua_State* L, int index)
{
    return static_cast<float>(luaL_checknumber(L, index));
}

Manager& Mgr(lua_State* L)
{
    LuaGui* gui = LuaGui::getRefCon(L);
    if (!gui || !gui->GetManager())
        luaL_error(L, "the skin functions are only available while the editor is built");
    return *gui->GetManager();
}

// The effect held by the global name: "couldn't get <name>" when it is nil, Lua's argument
// error when it is something else.
void* RequiredGlobal(lua_State* L, const char* name, const char* tag)
{
    lua_getglobal(L, name);
    if (lua_isnil(L, -1))
        luaL_error(L, "couldn't get %s", name);
    void* p = *static_cast<void**>(luaL_checkudata(L, lua_gettop(L), tag));
    lua_pop(L, 1);
    return p;
}

// The same for the slider banks, which work without ripples and vortex: null when nil or of
// another type.
void* OptionalGlobal(lua_State* L, const char* name, const char* tag)
{
    lua_getglobal(L, name);
    void* p = LuaGui::testObject(L, -1, tag);
    lua_pop(L, 1);
    return p;
}

} // namespace

// The instrument's global functions.
class PluginLuaGuiFunctions
{
public:
    static int KnobRenderer(lua_State* L)
    {
        Manager& manager = Mgr(L);
        Effect* renderer = manager.AddEffect(new RippleKnobRenderer(&manager));
        LuaGui::pushObject(L, renderer, PluginLuaGui::kKnobRendererTag);
        return 1;
    }

    static int RipplesFn(lua_State* L)
    {
        Manager& manager = Mgr(L);
        auto* texture = static_cast<Texture*>(LuaGui::testObject(L, 1, LuaGui::kTextureTag));
        if (!texture)
            return luaL_error(L, "texture expected");
        Effect* ripples = manager.AddEffect(new Ripples(&manager, texture));
        LuaGui::pushObject(L, ripples, PluginLuaGui::kRipplesTag);
        return 1;
    }

    static int VortexFn(lua_State* L)
    {
        Manager& manager = Mgr(L);
        Effect* vortex =
            manager.AddEffect(new Vortex(&manager, Arg(L, 1), Arg(L, 2), Arg(L, 3), Arg(L, 4)));
        LuaGui::pushObject(L, vortex, PluginLuaGui::kVortexTag);
        return 1;
    }

    template <class Bank, int kFirst> static int Sliders(lua_State* L)
    {
        Manager& manager = Mgr(L);
        const float x = Arg(L, 1), y = Arg(L, 2), w = Arg(L, 3), h = Arg(L, 4);
        auto* ripples =
            static_cast<Ripples*>(OptionalGlobal(L, "theRipples", PluginLuaGui::kRipplesTag));
        auto* vortex =
            static_cast<Vortex*>(OptionalGlobal(L, "theVortex", PluginLuaGui::kVortexTag));
        auto* bank = new Bank(&manager, ripples, vortex, kFirst, kPartialCount, x, y, w, h);
        LuaGui::pushObject(L, bank, LuaGui::kElementTag);
        return 1;
    }

    static int EnvDisplayFn(lua_State* L)
    {
        Manager& manager = Mgr(L);
        const lua_Integer id = luaL_checkinteger(L, 1);
        if (id < 1 || id > 3)
            return luaL_error(L, "invalid env id %d", static_cast<int>(id));
        auto* display = new EnvDisplay(&manager, 14 * static_cast<int>(id) + 27, 3, 2, 5.0f,
                                       Arg(L, 2), Arg(L, 3), Arg(L, 4), Arg(L, 5));
        LuaGui::pushObject(L, display, LuaGui::kElementTag);
        return 1;
    }

    static int AdsrEnvDisplayFn(lua_State* L)
    {
        Manager& manager = Mgr(L);
        const char* which = luaL_checkstring(L, 1);
        const int first = which[0] == 'a'   ? kAmpAttack
                          : which[0] == 'p' ? kPWEnvAttack
                          : which[0] == 'f' ? kFilterEnvAttack
                                            : -1;
        if (first < 0)
            return luaL_error(L, "invalid env id %s", which);
        const float x = Arg(L, 2), y = Arg(L, 3), w = Arg(L, 4), h = Arg(L, 5);
        // The amplitude envelope's release may be endless (-1 never matches a time).
        auto* display =
            new EnvDisplay(&manager, first, 2, 1, first == kAmpAttack ? -1.0f : 5.0f, x, y, w, h);
        display->SetFixed(6, 1.0f); // the first level slot: the attack peak
        if (first != kAmpAttack)
            for (int i = 3; i < 6; ++i)
                display->SetFixed(i, 1.0f); // no shape parameters: straight lines
        LuaGui::pushObject(L, display, LuaGui::kElementTag);
        return 1;
    }

    static int WaveformDisplayFn(lua_State* L)
    {
        Manager& manager = Mgr(L);
        auto* display = new AdditiveWaveform(&manager, kFirstLevel, kPartialCount, kPulseWidth,
                                             Arg(L, 1), Arg(L, 2), Arg(L, 3), Arg(L, 4));
        LuaGui::pushObject(L, display, LuaGui::kElementTag);
        return 1;
    }
};

PluginLuaGui::PluginLuaGui(MusicDeviceBase* instance, AboutCallback about, void* aboutRefcon)
    : PluginLuaGui(instance, FindUserSkin(instance), about, aboutRefcon)
{
}

PluginLuaGui::PluginLuaGui(MusicDeviceBase* instance, std::string skinBundle, AboutCallback about,
                           void* aboutRefcon)
    : LuaGui(instance, std::move(skinBundle)), m_about(about), m_aboutRefcon(aboutRefcon)
{
}

std::string PluginLuaGui::FindUserSkin(MusicDeviceBase* instance)
{
    std::string skin;
    Tarn::GetPrefString(Tarn::kPrefSkin, skin);
    if (skin.empty() || !instance)
        return {};
    const char* folder = nullptr;
    std::uint32_t size = sizeof folder;
    if (instance->DispatchGetProperty(kPropertyPrimaryAppSupportName, Scope::Global, 0, &folder,
                                      &size) != kNoErr ||
        !folder)
        folder = "";
    return LocateSkinBundle(skin, folder);
}

void PluginLuaGui::PrefsCallback(Button*, void* refcon)
{
    auto* self = static_cast<PluginLuaGui*>(static_cast<LuaGui*>(refcon));
    if (self->m_about)
        self->m_about(self->m_aboutRefcon);
    else if (self->m_manager && self->m_manager->GetBridge())
        self->m_manager->GetBridge()->RunPropertyDialog(ManagerPlatformBridge::kPreferencesDialog,
                                                        0);
}

void PluginLuaGui::RegisterFunctions(lua_State* L)
{
    AddButton("Prefs", PrefsCallback, kPrefsHelpId);
    const luaL_Reg functions[] = {
        {"knobRenderer", PluginLuaGuiFunctions::KnobRenderer},
        {"ripples", PluginLuaGuiFunctions::RipplesFn},
        {"vortex", PluginLuaGuiFunctions::VortexFn},
        {"envDisplay", PluginLuaGuiFunctions::EnvDisplayFn},
        {"adsrEnvDisplay", PluginLuaGuiFunctions::AdsrEnvDisplayFn},
        {"levelsSliders", PluginLuaGuiFunctions::Sliders<LevelsMultiSlider, kFirstLevel>},
        {"envSelSliders", PluginLuaGuiFunctions::Sliders<EnvSelMultiSlider, kFirstEnvSelect>},
        {"waveformDisplay", PluginLuaGuiFunctions::WaveformDisplayFn},
    };
    for (const luaL_Reg& r : functions)
        lua_register(L, r.name, r.func);
    for (const char* tag : {kKnobRendererTag, kRipplesTag, kVortexTag})
    {
        luaL_newmetatable(L, tag);
        lua_pop(L, 1);
    }
}

UIElement* PluginLuaGui::CreateKnob(lua_State* L, int paramIndex, float x, float y, float size)
{
    auto* renderer =
        static_cast<RippleKnobRenderer*>(RequiredGlobal(L, "theKnobRenderer", kKnobRendererTag));
    auto* ripples = static_cast<Ripples*>(RequiredGlobal(L, "theRipples", kRipplesTag));
    auto* vortex = static_cast<Vortex*>(RequiredGlobal(L, "theVortex", kVortexTag));
    return new RippleKnob(m_manager, paramIndex, ripples, vortex, renderer, x, y, size);
}

UIElement* PluginLuaGui::CreateSlider(lua_State* L, int, int, bool, float, float, float, float)
{
    luaL_error(L, "no slider support");
    return nullptr;
}

UIElement* PluginLuaGui::CreateButton(lua_State* L, int, const char* text,
                                      Button::Callback callback, void* refcon, float x, float y,
                                      float width, float height, int helpId)
{
    auto* ripples = static_cast<Ripples*>(RequiredGlobal(L, "theRipples", kRipplesTag));
    auto* vortex = static_cast<Vortex*>(RequiredGlobal(L, "theVortex", kVortexTag));
    return new RippleButton(m_manager, ripples, vortex, text, callback, refcon, x, y, width, height,
                            helpId);
}

UIElement* PluginLuaGui::CreateLuaButton(lua_State* L, int nargs, const char* text,
                                         Button::Callback callback, void* refcon, float x, float y,
                                         float width, float height, int helpId, int)
{
    return CreateButton(L, nargs, text, callback, refcon, x, y, width, height, helpId);
}

UIElement* PluginLuaGui::CreatePropertyTriggerButton(lua_State*, int, const char*, Button::Callback,
                                                     void*, float, float, float, float, int)
{
    return nullptr;
}

UIElement* PluginLuaGui::CreatePropertyButton(lua_State*, int, const char*, int, float, float,
                                              float, float, int, int)
{
    return nullptr;
}

UIElement* PluginLuaGui::CreateDropDown(lua_State* L, int, float, float, float, float)
{
    luaL_error(L, "no dropdown support");
    return nullptr;
}

} // namespace TW
