#include "LuaGuiFunctions.h"

#include "Button.h"
#include "Font.h"
#include "Group.h"
#include "Label.h"
#include "LuaGui.h"
#include "Manager.h"
#include "NamedGroup.h"
#include "TextField.h"
#include "Texture.h"

#include "osc/OSCHelper.h"
#include "platform/Bundle.h"
#include "platform/MusicDeviceBase.h"

#include <lua.hpp>

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace TW
{

namespace
{

// Faces are capped so a skin cannot ask for a glyph texture larger than any GL can hold.
constexpr lua_Integer kMaxFontSize = 256;

LuaGui& Gui(lua_State* L)
{
    LuaGui* gui = LuaGui::getRefCon(L);
    if (!gui || !gui->GetManager())
        luaL_error(L, "the skin functions are only available while the editor is built");
    return *gui;
}

Manager& Mgr(lua_State* L)
{
    return *Gui(L).GetManager();
}

float Arg(lua_State* L, int index)
{
    return static_cast<float>(luaL_checknumber(L, index));
}

// The parameter named by a string argument.
int ParamByName(lua_State* L, int index)
{
    return LuaGui::getParam(L, luaL_checkstring(L, index));
}

// A parameter name or, for a number, the index as it is.
int ParamByNameOrIndex(lua_State* L, int index)
{
    if (lua_type(L, index) == LUA_TNUMBER)
        return static_cast<int>(lua_tointeger(L, index));
    return ParamByName(L, index);
}

Group* CheckGroup(lua_State* L, int index)
{
    auto* group = static_cast<Group*>(LuaGui::testObject(L, index, LuaGui::kGroupTag));
    if (!group)
        luaL_error(L, "group expected");
    return group;
}

Label* CheckLabel(lua_State* L, int index)
{
    auto* label = static_cast<Label*>(LuaGui::testObject(L, index, LuaGui::kLabelTag));
    if (!label)
        luaL_error(L, "label expected");
    return label;
}

TextField* CheckTextField(lua_State* L, int index)
{
    auto* field = static_cast<TextField*>(LuaGui::testObject(L, index, LuaGui::kTextFieldTag));
    if (!field)
        luaL_error(L, "textfield expected");
    return field;
}

// The first letter of an optional string argument, lower case; 0 when absent.
int Letter(lua_State* L, int index)
{
    const char* text = lua_isstring(L, index) ? lua_tostring(L, index) : nullptr;
    return text ? std::tolower(static_cast<unsigned char>(text[0])) : 0;
}

void PushElement(lua_State* L, UIElement* element)
{
    LuaGui::pushObject(L, element, LuaGui::kElementTag);
}

// A font named by a path relative to a bundle ("fonts/DejaVuSans.ttf") is the skin bundle's file,
// else the plug-in bundle's; any other name is looked up as Font::Create does.
std::string BundleFontPath(lua_State* L, const std::string& name)
{
    if (name[0] == '/' || name.find("..") != std::string::npos)
        return name;
    const LuaGui* gui = LuaGui::getRefCon(L);
    for (const std::string& bundle :
         {gui ? gui->GetSkinBundle() : std::string(), FindPluginBundle()})
    {
        if (bundle.empty())
            continue;
        const std::string path = bundle + "/" + name;
        if (::access(path.c_str(), R_OK) == 0)
            return path;
    }
    return name;
}

// ---- Global functions. ----

int GroupFn(lua_State* L)
{
    Manager& manager = Mgr(L);
    const char* name = luaL_checkstring(L, 1);
    float margins[4] = {10.0f, 10.0f, 10.0f, 10.0f};
    if (lua_type(L, 2) == LUA_TNUMBER)
        for (float& m : margins)
            m = Arg(L, 2);
    else if (lua_istable(L, 2))
        for (int i = 0; i < 4; ++i)
        {
            lua_rawgeti(L, 2, i + 1);
            margins[i] = static_cast<float>(lua_tonumber(L, -1));
            lua_pop(L, 1);
        }
    auto* group = new NamedGroup(&manager, name, margins);
    manager.GetRoot()->AddChild(group);
    LuaGui::pushObject(L, group, LuaGui::kGroupTag);
    return 1;
}

int AddFn(lua_State* L)
{
    Manager& manager = Mgr(L);
    if (UIElement* element = LuaGui::checkElement(L, 1))
        manager.GetRoot()->AddChild(element);
    return 0;
}

int KnobFn(lua_State* L)
{
    LuaGui& gui = Gui(L);
    const int param = ParamByName(L, 1);
    const int a = lua_type(L, 2) == LUA_TNUMBER ? 2 : 3; // a non-numeric second argument
    UIElement* knob = gui.CreateKnob(L, param, Arg(L, a), Arg(L, a + 1), Arg(L, a + 2));
    PushElement(L, knob);
    return 1;
}

int SliderFn(lua_State* L)
{
    LuaGui& gui = Gui(L);
    const int param = ParamByName(L, 1);
    const float x = Arg(L, 2), y = Arg(L, 3), w = Arg(L, 4), h = Arg(L, 5);
    const char* orientation = luaL_checkstring(L, 6);
    const int letter = orientation[0];
    if (letter != 'h' && letter != 'v')
        return luaL_error(L, "unknown slider orientation: %s", orientation);
    PushElement(L, gui.CreateSlider(L, lua_gettop(L), param, letter == 'h', x, y, w, h));
    return 1;
}

int ButtonFn(lua_State* L)
{
    LuaGui& gui = Gui(L);
    const char* name = luaL_checkstring(L, 1);
    const char* text = luaL_checkstring(L, 2);
    const float x = Arg(L, 3), y = Arg(L, 4), w = Arg(L, 5), h = Arg(L, 6);
    lua_pushlightuserdata(L, const_cast<char*>(LuaGui::kButtonLookup));
    lua_rawget(L, LUA_REGISTRYINDEX);
    const bool present = lua_touserdata(L, -1) == &gui.GetButtonLookup();
    lua_pop(L, 1);
    if (!present)
        return luaL_error(L, "no button lookup table");
    const auto it = gui.GetButtonLookup().find(name);
    if (it == gui.GetButtonLookup().end())
        return luaL_error(L, "button not found: %s", name);
    PushElement(L, gui.CreateButton(L, lua_gettop(L), text, it->second.callback, &gui, x, y, w, h,
                                    it->second.helpId));
    return 1;
}

int TextureFn(lua_State* L)
{
    LuaGui& gui = Gui(L);
    const char* name = luaL_checkstring(L, 1);
    Texture* texture = gui.GetManager()->AddTexture(
        std::make_unique<Texture>(name, gui.GetSkinBundle(), FindPluginBundle()));
    LuaGui::pushObject(L, texture, LuaGui::kTextureTag);
    return 1;
}

int FontFn(lua_State* L)
{
    LuaGui& gui = Gui(L);
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_settop(L, 1);
    std::unique_ptr<Font> font;
    if (gui.ProtectedCall(0, 1) == 0)
        font = LuaGuiFunctions::FontFromList(L, -1);
    lua_settop(L, 0);
    Font* kept = font ? gui.GetManager()->AddFont(std::move(font)) : nullptr;
    LuaGui::pushObject(L, kept, LuaGui::kFontTag);
    return 1;
}

int DropDownFn(lua_State* L)
{
    LuaGui& gui = Gui(L);
    const int param = ParamByName(L, 1);
    PushElement(L, gui.CreateDropDown(L, param, Arg(L, 2), Arg(L, 3), Arg(L, 4), Arg(L, 5)));
    return 1;
}

int LabelFn(lua_State* L)
{
    Manager& manager = Mgr(L);
    const char* text = luaL_checkstring(L, 1);
    const float x = Arg(L, 2), y = Arg(L, 3);
    const int letter = Letter(L, 4);
    const int justification = letter == 'l' ? 1 : letter == 'r' ? 2 : 0;
    const float w = static_cast<float>(luaL_optnumber(L, 5, 0.0));
    const float h = static_cast<float>(luaL_optnumber(L, 6, 0.0));
    auto* label = new Label(&manager, text, justification, x, y, w, h);
    LuaGui::pushObject(L, label, LuaGui::kLabelTag);
    return 1;
}

int TextFieldFn(lua_State* L)
{
    Manager& manager = Mgr(L);
    const int param = ParamByName(L, 1);
    const float x = Arg(L, 2), y = Arg(L, 3), w = Arg(L, 4), h = Arg(L, 5);
    const char* format = luaL_optstring(L, 6, "");
    // The format is given a number when the field is drawn: anything else in it (a "%s", a
    // second conversion) would read what is not there.
    if (*format && !LuaGuiFunctions::IsNumberFormat(format))
        return luaL_error(L, "textField format must format one number: %s", format);
    auto* field = new TextField(&manager, param, x, y, w, h, format);
    LuaGui::pushObject(L, field, LuaGui::kTextFieldTag);
    return 1;
}

int LuaButtonFn(lua_State* L);
int PropertyTriggerButtonFn(lua_State* L);
int PropertyButtonFn(lua_State* L);

int SetBackgroundColourFn(lua_State* L)
{
    Mgr(L).SetBackgroundColour(Arg(L, 1), Arg(L, 2), Arg(L, 3));
    return 0;
}

int SetBannerColourFn(lua_State* L)
{
    Mgr(L).SetBannerColour(Arg(L, 1), Arg(L, 2), Arg(L, 3), Arg(L, 4));
    return 0;
}

int SetBannerTextColourFn(lua_State* L)
{
    Gui(L);
    for (int i = 0; i < 4; ++i)
        Manager::m_bannerTextColour[i] = Arg(L, i + 1);
    return 0;
}

int SetBannerPositionFn(lua_State* L)
{
    Manager& manager = Mgr(L);
    manager.SetBannerY(Arg(L, 1));
    const int mode = lua_isboolean(L, 2) && !lua_toboolean(L, 2) ? 2 : 0;
    manager.SetBannerContent(mode, manager.GetBannerTitleX(), manager.GetReadoutX());
    return 0;
}

int SetBannerBoundsFn(lua_State* L)
{
    Mgr(L).SetBannerBounds(Arg(L, 1), Arg(L, 2), Arg(L, 3), Arg(L, 4));
    return 0;
}

int SetBannerContentFn(lua_State* L)
{
    Manager& manager = Mgr(L);
    const char* mode = luaL_checkstring(L, 1);
    const int m = std::strcmp(mode, "none") == 0 ? 2 : Letter(L, 1) == 'n' ? 1 : 0;
    manager.SetBannerContent(m, Arg(L, 2), Arg(L, 3));
    return 0;
}

int SetGroupColour(lua_State* L, float (&target)[4])
{
    Gui(L);
    for (int i = 0; i < 4; ++i)
        target[i] = Arg(L, i + 1);
    return 0;
}

int SetGroupActiveColourFn(lua_State* L)
{
    return SetGroupColour(L, NamedGroup::ms_activeTargetColour);
}

int SetGroupInactiveColourFn(lua_State* L)
{
    return SetGroupColour(L, NamedGroup::ms_inactiveTargetColour);
}

int RedrawLabelsFn(lua_State* L)
{
    Mgr(L).RequestRedrawLabels();
    return 0;
}

int SetParameterFn(lua_State* L)
{
    Manager& manager = Mgr(L);
    const int param = ParamByNameOrIndex(L, 1);
    const float value = Arg(L, 2);
    if (param < 0 || param >= manager.GetParameterCount())
        return luaL_error(L, "parameter out of range: %d", param);
    manager.SetEditingParam(param);
    manager.SetParameterValue(param, value);
    manager.UnsetEditingParam(param);
    return 0;
}

int GetParameterFn(lua_State* L)
{
    Manager& manager = Mgr(L);
    lua_pushnumber(L, manager.GetParameterValue(ParamByNameOrIndex(L, 1)));
    return 1;
}

int GetParameterIDFn(lua_State* L)
{
    lua_pushinteger(L, ParamByName(L, 1));
    return 1;
}

int SendOSCFn(lua_State* L)
{
    return OSCHelper::LuaSendOSC(L);
}

int GetChannelCountFn(lua_State* L)
{
    lua_pushinteger(L, 2);
    return 1;
}

int GetBooleanPropertyFn(lua_State* L)
{
    LuaGui& gui = Gui(L);
    const auto id = static_cast<std::uint32_t>(luaL_checkinteger(L, 1));
    std::uint8_t value = 0;
    std::uint32_t size = sizeof value;
    const bool read =
        gui.GetInstance() &&
        gui.GetInstance()->DispatchGetProperty(id, Scope::Global, 0, &value, &size) == kNoErr &&
        size == sizeof value;
    lua_pushboolean(L, read && value != 0);
    return 1;
}

int SetStringPropertyFn(lua_State* L)
{
    LuaGui& gui = Gui(L);
    const auto id = static_cast<std::uint32_t>(luaL_checkinteger(L, 1));
    std::size_t length = 0;
    const char* text = luaL_checklstring(L, 2, &length);
    if (gui.GetInstance())
        gui.GetInstance()->DispatchSetProperty(id, Scope::Global, 0, text,
                                               static_cast<std::uint32_t>(length + 1));
    return 0;
}

// ---- Element methods (also the globals elementSetVisible / elementIsVisible). ----

int ElementSetVisible(lua_State* L)
{
    UIElement* element = LuaGui::checkElement(L, 1);
    if (element)
        element->SetVisible(lua_toboolean(L, 2) != 0);
    return 0;
}

int ElementIsVisible(lua_State* L)
{
    UIElement* element = LuaGui::checkElement(L, 1);
    lua_pushboolean(L, element && element->IsVisible());
    return 1;
}

int ElementSetState(lua_State* L)
{
    if (auto* button = dynamic_cast<StatefulButton*>(LuaGui::checkElement(L, 1)))
        button->SetState(lua_toboolean(L, 2) != 0);
    return 0;
}

int ElementGetState(lua_State* L)
{
    auto* button = dynamic_cast<StatefulButton*>(LuaGui::checkElement(L, 1));
    lua_pushboolean(L, button && button->GetState());
    return 1;
}

// ---- Group methods. ----

int GroupAdd(lua_State* L)
{
    Group* group = CheckGroup(L, 1);
    if (UIElement* element = LuaGui::checkElement(L, 2))
        group->AddChild(element);
    return 0;
}

int GroupSetPosition(lua_State* L)
{
    Group* group = CheckGroup(L, 1);
    float x = Arg(L, 2), y = Arg(L, 3);
    if (lua_toboolean(L, 4))
    {
        // The offset that puts the lower-left corner of the bounds at (x, y).
        Bounds b;
        group->ExtendBounds(b);
        if (b.minX <= b.maxX)
        {
            x -= b.minX - group->OffsetX();
            y -= b.minY - group->OffsetY();
        }
    }
    group->SetOffset(x, y);
    return 0;
}

int GroupWidth(lua_State* L)
{
    lua_pushnumber(L, CheckGroup(L, 1)->GetWidth());
    return 1;
}

int GroupHeight(lua_State* L)
{
    lua_pushnumber(L, CheckGroup(L, 1)->GetHeight());
    return 1;
}

int GroupBounds(lua_State* L)
{
    Bounds b;
    CheckGroup(L, 1)->ExtendBounds(b);
    lua_pushnumber(L, b.minX);
    lua_pushnumber(L, b.minY);
    lua_pushnumber(L, b.maxX);
    lua_pushnumber(L, b.maxY);
    return 4;
}

int GroupSetVisible(lua_State* L)
{
    CheckGroup(L, 1)->SetVisible(lua_toboolean(L, 2) != 0);
    return 0;
}

int GroupIsVisible(lua_State* L)
{
    lua_pushboolean(L, CheckGroup(L, 1)->IsVisible());
    return 1;
}

// ---- Label and text-field methods. ----

int LabelSetBackgroundColour(lua_State* L)
{
    CheckLabel(L, 1)->SetBackgroundColour(Arg(L, 2), Arg(L, 3), Arg(L, 4), Arg(L, 5));
    return 0;
}

int LabelSetForegroundColour(lua_State* L)
{
    CheckLabel(L, 1)->SetForegroundColour(Arg(L, 2), Arg(L, 3), Arg(L, 4), Arg(L, 5));
    return 0;
}

template <void (TextField::*Set)(float, float, float) noexcept> int TextFieldColour(lua_State* L)
{
    (CheckTextField(L, 1)->*Set)(Arg(L, 2), Arg(L, 3), Arg(L, 4));
    return 0;
}

const luaL_Reg kElementMethods[] = {{"setVisible", ElementSetVisible},
                                    {"isVisible", ElementIsVisible},
                                    {"setState", ElementSetState},
                                    {"getState", ElementGetState},
                                    {nullptr, nullptr}};

const luaL_Reg kGroupMethods[] = {{"add", GroupAdd},
                                  {"setPosition", GroupSetPosition},
                                  {"width", GroupWidth},
                                  {"height", GroupHeight},
                                  {"bounds", GroupBounds},
                                  {"setVisible", GroupSetVisible},
                                  {"isVisible", GroupIsVisible},
                                  {nullptr, nullptr}};

const luaL_Reg kLabelMethods[] = {{"setBackgroundColour", LabelSetBackgroundColour},
                                  {"setForegroundColour", LabelSetForegroundColour},
                                  {nullptr, nullptr}};

const luaL_Reg kTextFieldMethods[] = {
    {"setBackgroundColour", TextFieldColour<&TextField::SetBackgroundColour>},
    {"setActiveColour", TextFieldColour<&TextField::SetActiveColour>},
    {"setChangedColour", TextFieldColour<&TextField::SetChangedColour>},
    {"setTextColour", TextFieldColour<&TextField::SetTextColour>},
    {nullptr, nullptr}};

const luaL_Reg kGlobals[] = {{"group", GroupFn},
                             {"add", AddFn},
                             {"knob", KnobFn},
                             {"slider", SliderFn},
                             {"button", ButtonFn},
                             {"luaButton", LuaButtonFn},
                             {"propertyTriggerButton", PropertyTriggerButtonFn},
                             {"propertyButton", PropertyButtonFn},
                             {"texture", TextureFn},
                             {"font", FontFn},
                             {"dropDown", DropDownFn},
                             {"label", LabelFn},
                             {"textField", TextFieldFn},
                             {"setBackgroundColour", SetBackgroundColourFn},
                             {"setBannerColour", SetBannerColourFn},
                             {"setBannerTextColour", SetBannerTextColourFn},
                             {"setBannerPosition", SetBannerPositionFn},
                             {"setBannerBounds", SetBannerBoundsFn},
                             {"setBannerContent", SetBannerContentFn},
                             {"setGroupActiveColour", SetGroupActiveColourFn},
                             {"setGroupInactiveColour", SetGroupInactiveColourFn},
                             {"redrawLabels", RedrawLabelsFn},
                             {"setParameter", SetParameterFn},
                             {"getParameter", GetParameterFn},
                             {"getParameterID", GetParameterIDFn},
                             {"sendOSC", SendOSCFn},
                             {"getChannelCount", GetChannelCountFn},
                             {"getBooleanProperty", GetBooleanPropertyFn},
                             {"setStringProperty", SetStringPropertyFn},
                             {"elementSetVisible", ElementSetVisible},
                             {"elementIsVisible", ElementIsVisible},
                             {nullptr, nullptr}};

// A metatable whose __index is itself, with the given method lists.
void NewMetatable(lua_State* L, const char* tag, std::initializer_list<const luaL_Reg*> lists)
{
    luaL_newmetatable(L, tag);
    lua_pushvalue(L, -1);
    lua_setfield(L, -2, "__index");
    for (const luaL_Reg* list : lists)
        for (const luaL_Reg* r = list; r->name; ++r)
        {
            lua_pushcfunction(L, r->func);
            lua_setfield(L, -2, r->name);
        }
    lua_pop(L, 1);
}

} // namespace

// The three kinds of button that need the LuaGui's private records.
class LuaGuiButtons
{
public:
    static int LuaButton(lua_State* L)
    {
        LuaGui& gui = Gui(L);
        if (!lua_isfunction(L, 1))
            return luaL_error(L, "first argument to luaButton() is not a function");
        const char* text = luaL_checkstring(L, 2);
        const char* help = luaL_checkstring(L, 3);
        const int type = Letter(L, 4) == 't' ? 1 : 0;
        const float x = Arg(L, 5), y = Arg(L, 6), w = Arg(L, 7), h = Arg(L, 8);
        const int helpId = gui.GetManager()->AddHelpString(help);
        lua_pushvalue(L, 1);
        const int reference = luaL_ref(L, LUA_REGISTRYINDEX);
        gui.m_luaButtons.push_back(
            std::make_unique<LuaGui::LuaButtonRecord>(LuaGui::LuaButtonRecord{&gui, reference}));
        PushElement(L,
                    gui.CreateLuaButton(L, lua_gettop(L), text, LuaGui::LuaButtonCallback,
                                        gui.m_luaButtons.back().get(), x, y, w, h, helpId, type));
        return 1;
    }

    static int PropertyTriggerButton(lua_State* L)
    {
        LuaGui& gui = Gui(L);
        const int property = static_cast<int>(luaL_checkinteger(L, 1));
        const char* text = luaL_checkstring(L, 2);
        const char* help = luaL_checkstring(L, 3);
        const float x = Arg(L, 4), y = Arg(L, 5), w = Arg(L, 6), h = Arg(L, 7);
        const int helpId = gui.GetManager()->AddHelpString(help);
        gui.m_propertyTriggers.push_back(
            std::make_unique<LuaGui::PropertyTrigger>(LuaGui::PropertyTrigger{&gui, property}));
        PushElement(L, gui.CreatePropertyTriggerButton(
                           L, lua_gettop(L), text, LuaGui::PropertyTriggerCallback,
                           gui.m_propertyTriggers.back().get(), x, y, w, h, helpId));
        return 1;
    }

    static int PropertyButton(lua_State* L)
    {
        LuaGui& gui = Gui(L);
        const int property = static_cast<int>(luaL_checkinteger(L, 1));
        const char* text = luaL_checkstring(L, 2);
        const char* help = luaL_checkstring(L, 3);
        const int letter = Letter(L, 4);
        const int type = letter == 't' ? 1 : letter == 'i' ? 2 : 0;
        const float x = Arg(L, 5), y = Arg(L, 6), w = Arg(L, 7), h = Arg(L, 8);
        const int helpId = gui.GetManager()->AddHelpString(help);
        PushElement(L, gui.CreatePropertyButton(L, lua_gettop(L), text, property, x, y, w, h,
                                                helpId, type));
        return 1;
    }
};

namespace
{

int LuaButtonFn(lua_State* L)
{
    return LuaGuiButtons::LuaButton(L);
}
int PropertyTriggerButtonFn(lua_State* L)
{
    return LuaGuiButtons::PropertyTriggerButton(L);
}
int PropertyButtonFn(lua_State* L)
{
    return LuaGuiButtons::PropertyButton(L);
}

} // namespace

void LuaGuiFunctions::Register(lua_State* L)
{
    for (const luaL_Reg* r = kGlobals; r->name; ++r)
        lua_register(L, r->name, r->func);
    NewMetatable(L, LuaGui::kGroupTag, {kGroupMethods});
    NewMetatable(L, LuaGui::kElementTag, {kElementMethods});
    NewMetatable(L, LuaGui::kLabelTag, {kElementMethods, kLabelMethods});
    NewMetatable(L, LuaGui::kTextFieldTag, {kElementMethods, kTextFieldMethods});
    luaL_newmetatable(L, LuaGui::kTextureTag);
    luaL_newmetatable(L, LuaGui::kFontTag);
    lua_pop(L, 2);
}

std::unique_ptr<Font> LuaGuiFunctions::FontFromList(lua_State* L, int index)
{
    if (!lua_istable(L, index))
        return nullptr;
    index = index < 0 ? lua_gettop(L) + index + 1 : index;
    std::vector<Font::FontSpec> list;
    const int n = static_cast<int>(lua_objlen(L, index));
    for (int i = 1; i <= n; ++i)
    {
        lua_rawgeti(L, index, i);
        if (lua_istable(L, -1))
        {
            lua_getfield(L, -1, "name");
            lua_getfield(L, -2, "size");
            const char* name = lua_isstring(L, -2) ? lua_tostring(L, -2) : nullptr;
            const lua_Integer size = lua_tointeger(L, -1);
            if (name && *name && size >= 1 && size <= kMaxFontSize)
                list.push_back({BundleFontPath(L, name), static_cast<int>(size)});
            lua_pop(L, 2);
        }
        lua_pop(L, 1);
    }
    return list.empty() ? nullptr : Font::Create(list);
}

bool LuaGuiFunctions::IsNumberFormat(const char* format)
{
    int conversions = 0;
    for (const char* c = format; *c; ++c)
    {
        if (*c != '%')
            continue;
        ++c;
        if (*c == '%')
            continue;
        while (*c && std::strchr("-+ #0", *c))
            ++c;
        for (int digits = 0; std::isdigit(static_cast<unsigned char>(*c)); ++c)
            if (++digits > 2) // widths and precisions of two digits at most fit the field
                return false;
        if (*c == '.')
            for (int digits = 0; std::isdigit(static_cast<unsigned char>(*++c));)
                if (++digits > 2)
                    return false;
        if (!*c || !std::strchr("eEfFgGaA", *c))
            return false;
        ++conversions;
    }
    return conversions == 1;
}

} // namespace TW
