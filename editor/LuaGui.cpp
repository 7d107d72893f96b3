#include "LuaGui.h"

#include "Font.h"
#include "LuaGuiFunctions.h"
#include "Manager.h"

#include "core/FileLoader.h"
#include "core/ParameterTable.h"
#include "core/TarnAdditiveSynth.h"
#include "platform/MusicDeviceBase.h"

#include <lua.hpp>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace TW
{

const char LuaGui::kViewRefcon[] = "TWgui::kViewRefcon";
const char LuaGui::kParamLookup[] = "TWgui::kParamLookup";
const char LuaGui::kButtonLookup[] = "TWgui::kButtonLookup";
const char LuaGui::kGroupTag[] = "TWgui.Group";
const char LuaGui::kElementTag[] = "TWgui.Element";
const char LuaGui::kTextureTag[] = "TWgui.Texture";
const char LuaGui::kFontTag[] = "TWgui.Font";
const char LuaGui::kLabelTag[] = "TWgui.Label";
const char LuaGui::kTextFieldTag[] = "TWgui.TextField";

namespace
{

// Restores the stack height when a call path ends, however it ends.
class StackRestore
{
public:
    explicit StackRestore(lua_State* L) : m_L(L), m_top(lua_gettop(L)) {}
    ~StackRestore() { lua_settop(m_L, m_top); }
    StackRestore(const StackRestore&) = delete;
    StackRestore& operator=(const StackRestore&) = delete;

private:
    lua_State* m_L;
    int m_top;
};

const char* ErrorText(lua_State* L)
{
    const char* text = lua_tostring(L, -1);
    return text ? text : "(error object is not a string)";
}

// An error outside any protected call (only out of memory can cause one). The interpreter ends
// the process after this returns.
int LuaPanic(lua_State* L)
{
    const char* text = lua_tostring(L, -1);
    std::printf("@@@ unprotected error in the skin interpreter: %s\n",
                text ? text : "(not a string)");
    std::fflush(stdout);
    return 0;
}

// A C string property of the instance (a pointer to its text), empty when there is none.
std::string StringProperty(MusicDeviceBase* instance, std::uint32_t id)
{
    const char* text = nullptr;
    std::uint32_t size = sizeof text;
    if (!instance || instance->DispatchGetProperty(id, Scope::Global, 0, &text, &size) != kNoErr ||
        !text)
        return {};
    return text;
}

} // namespace

LuaGui::LuaGui(MusicDeviceBase* instance, std::string skinBundle)
    : m_instance(instance), m_skinBundle(std::move(skinBundle))
{
}

LuaGui::~LuaGui()
{
    LuaShutdown();
}

void LuaGui::LuaError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    LuaCallGuard::PrintError(format, args);
    va_end(args);
}

LuaGui* LuaGui::getRefCon(lua_State* L)
{
    LuaCallGuard* guard = LuaCallGuard::From(L);
    return guard ? static_cast<LuaGui*>(guard->Owner()) : nullptr;
}

int LuaGui::getParam(lua_State* L, const char* name)
{
    const LuaGui* self = getRefCon(L);
    return ParameterNameLookup::FindOrRaise(self ? &self->m_paramLookup : nullptr, L, name);
}

void LuaGui::pushObject(lua_State* L, void* p, const char* tag)
{
    auto** box = static_cast<void**>(lua_newuserdata(L, sizeof(void*)));
    *box = p;
    luaL_getmetatable(L, tag);
    lua_setmetatable(L, -2);
}

void* LuaGui::testObject(lua_State* L, int index, const char* tag)
{
    if (lua_type(L, index) != LUA_TUSERDATA || !lua_getmetatable(L, index))
        return nullptr;
    luaL_getmetatable(L, tag);
    const bool match = lua_rawequal(L, -1, -2);
    lua_pop(L, 2);
    return match ? *static_cast<void**>(lua_touserdata(L, index)) : nullptr;
}

UIElement* LuaGui::checkElement(lua_State* L, int index)
{
    if (lua_type(L, index) != LUA_TUSERDATA)
        luaL_error(L, "element expected");
    const LuaGui* self = getRefCon(L);
    if (lua_getmetatable(L, index))
    {
        auto matches = [L](const char* tag)
        {
            luaL_getmetatable(L, tag);
            const bool match = lua_rawequal(L, -1, -2);
            lua_pop(L, 1);
            return match;
        };
        bool found = matches(kElementTag) || matches(kLabelTag) || matches(kTextFieldTag);
        for (std::size_t i = 0; !found && self && i < self->m_elementTags.size(); ++i)
            found = matches(self->m_elementTags[i].c_str());
        lua_pop(L, 1);
        if (found)
            return *static_cast<UIElement**>(lua_touserdata(L, index));
    }
    luaL_typerror(L, index, "element");
    return nullptr;
}

void LuaGui::AddButton(const std::string& name, Button::Callback callback, int helpId)
{
    m_buttons[name] = ButtonEntry{callback, helpId};
}

void LuaGui::ReadParameterTable()
{
    m_paramLookup.Clear();
    m_paramCount = 0;
    std::uint32_t count = 0;
    std::uint32_t size = sizeof count;
    const void* table = nullptr;
    if (!m_instance || m_instance->DispatchGetProperty(kPropertyParameterCount, Scope::Global, 0,
                                                       &count, &size) != kNoErr)
        return;
    size = sizeof table;
    if (m_instance->DispatchGetProperty(kPropertyParameterTable, Scope::Global, 0, &table, &size) !=
            kNoErr ||
        !table)
        return;
    m_paramCount = static_cast<int>(count);
    m_paramLookup.Build(static_cast<const Tarn::ParamInfo*>(table), m_paramCount);
}

lua_State* LuaGui::LuaInit()
{
    if (lua_State* L = m_guard.State())
        return L;
    lua_State* L = NewState();
    if (L && !RunScripts())
    {
        // The skin's own script failed: the editor runs on the bundled skin alone, in a fresh
        // interpreter that keeps nothing the skin defined.
        LuaError("the skin at %s failed to load: using the bundled skin\n", m_skinBundle.c_str());
        m_guard.Close();
        m_skinBundle.clear();
        L = NewState();
        if (L)
            RunScripts();
    }
    if (L)
        lua_settop(L, 0);
    return L;
}

lua_State* LuaGui::NewState()
{
    lua_State* L = m_guard.NewState();
    if (!L)
    {
        LuaError("cannot create the skin interpreter\n");
        return nullptr;
    }
    lua_atpanic(L, LuaPanic);

    LuaGuiFunctions::Register(L);
    const struct
    {
        const char* name;
        bool value;
    } flags[] = {{"isMac", true}, {"isWin", false}, {"isVST", false}, {"isAU", true}};
    for (const auto& f : flags)
    {
        lua_pushboolean(L, f.value);
        lua_setglobal(L, f.name);
    }
    const struct
    {
        const char* name;
        lua_Number value;
    } numbers[] = {{"majorVersion", 1}, {"minorVersion", 1}, {"dotVersion", 1}, {"version", 10101}};
    for (const auto& n : numbers)
    {
        lua_pushnumber(L, n.value);
        lua_setglobal(L, n.name);
    }

    lua_pushlightuserdata(L, const_cast<char*>(kViewRefcon));
    lua_pushlightuserdata(L, this);
    lua_rawset(L, LUA_REGISTRYINDEX);
    ReadParameterTable();
    lua_pushlightuserdata(L, const_cast<char*>(kParamLookup));
    lua_pushlightuserdata(L, &m_paramLookup);
    lua_rawset(L, LUA_REGISTRYINDEX);
    return L;
}

bool LuaGui::RunFile(const char* name, const std::string& bundle)
{
    lua_State* L = m_guard.State();
    FileLoader loader(name, bundle.empty() ? nullptr : bundle.c_str());
    if (!loader.GetData())
        return true;
    StackRestore restore(L);
    const std::string chunk = std::string("@") + name;
    if (luaL_loadbuffer(L, static_cast<const char*>(loader.GetData()), loader.GetSize(),
                        chunk.c_str()) != 0 ||
        ProtectedCall(0) != 0)
    {
        LuaError("failed to run buffer: %s\n", ErrorText(L));
        return false;
    }
    return true;
}

bool LuaGui::RunScripts()
{
    const std::string extra = StringProperty(m_instance, kPropertySecondaryGuiFilename);
    if (!m_skinBundle.empty())
    {
        if (!RunFile("gui.lua", m_skinBundle))
            return false;
        if (!extra.empty())
            RunFile(extra.c_str(), m_skinBundle);
    }
    RunFile("gui.lua", std::string());
    if (!extra.empty())
        RunFile(extra.c_str(), std::string());
    return true;
}

void LuaGui::LuaShutdown()
{
    if (!m_guard.State())
        return;
    m_guard.Close();
    m_paramLookup.Clear();
    // The lua buttons' records stay until the LuaGui goes: a button pressed after this finds no
    // interpreter and does nothing.
}

int LuaGui::ProtectedCall(int nargs, int nresults)
{
    if (!m_guard.State())
        return LUA_ERRRUN;
    return m_guard.ProtectedCall(nargs, nresults);
}

std::unique_ptr<Font> LuaGui::CallFontFunction(const char* name)
{
    lua_State* L = m_guard.State();
    if (!L)
        return nullptr;
    StackRestore restore(L);
    lua_getglobal(L, name);
    if (!lua_isfunction(L, -1) || ProtectedCall(0, 1) != 0)
        return nullptr;
    return LuaGuiFunctions::FontFromList(L, -1);
}

void LuaGui::CreateUI(Manager* manager)
{
    m_manager = manager;
    lua_State* L = LuaInit();
    if (!L)
        return;
    std::unique_ptr<Font> banner = CallFontFunction("getFont");
    std::unique_ptr<Font> label = CallFontFunction("getLabelFont");
    std::unique_ptr<Font> textField = CallFontFunction("getTextFieldFont");
    manager->SetFonts(std::move(banner), std::move(label), std::move(textField));
    static const char* helpStrings[] = {"Preferences", "Capture preset", nullptr};
    manager->SetHelpStrings(helpStrings);
    {
        StackRestore restore(L);
        RegisterFunctions(L);
        AddUIElementTags();
    }
    LuaCreateUI();
}

void LuaGui::LuaCreateUI()
{
    lua_State* L = m_guard.State();
    StackRestore restore(L);
    lua_Integer width = 0, height = 0;
    {
        StackRestore call(L);
        lua_getglobal(L, "getWindowSize");
        if (lua_isfunction(L, -1) && ProtectedCall(0, 2) == 0)
        {
            width = lua_tointeger(L, -2);
            height = lua_tointeger(L, -1);
        }
    }
    // A design larger than the window can ever be is held to the editor's limits.
    width = std::clamp<lua_Integer>(width, 0, Manager::kMaxWidth);
    height = std::clamp<lua_Integer>(height, 0, Manager::kMaxHeight);
    m_manager->SetWindowSize(static_cast<int>(width), static_cast<int>(height));

    lua_pushlightuserdata(L, const_cast<char*>(kButtonLookup));
    lua_pushlightuserdata(L, &m_buttons);
    lua_rawset(L, LUA_REGISTRYINDEX);

    lua_getglobal(L, "createUI");
    if (lua_isfunction(L, -1) && ProtectedCall(0, 0) != 0)
        LuaError("createUI: %s\n", ErrorText(L));
}

void LuaGui::LuaButtonCallback(Button*, void* refcon)
{
    auto* record = static_cast<LuaButtonRecord*>(refcon);
    lua_State* L = record->gui->GetLuaState();
    if (!L)
        return;
    StackRestore restore(L);
    lua_rawgeti(L, LUA_REGISTRYINDEX, record->reference);
    if (lua_isfunction(L, -1))
        record->gui->ProtectedCall(0, 0); // errors are the skin's business
}

void LuaGui::PropertyTriggerCallback(Button*, void* refcon)
{
    auto* trigger = static_cast<PropertyTrigger*>(refcon);
    const std::uint8_t one = 1;
    if (MusicDeviceBase* instance = trigger->gui->GetInstance())
        instance->DispatchSetProperty(static_cast<std::uint32_t>(trigger->propertyId),
                                      Scope::Global, 0, &one, sizeof one);
}

} // namespace TW
