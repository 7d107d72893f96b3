#include "LuaMIDIScriptAPI.h"

#include "LuaMIDIHelper.h"
#include "TarnInstanceTracker.h"

#include "core/ParameterTable.h"
#include "osc/OSCHelper.h"
#include "platform/MusicDeviceBase.h"
#include "platform/UpTime.h"

#include <lua.hpp>

#include <climits>
#include <cmath>
#include <cstring>

namespace TW
{
namespace
{

// Number of GUI indicator switches that scripts may address (ids 0..7).
constexpr unsigned kNumIndicators = 8;

// A script number as an int, truncated toward zero; values beyond int (and not-a-number) become
// the nearest end of the range, so they are refused by range checks rather than wrapped.
int TruncateToInt(lua_Number n)
{
    if (!(n > static_cast<lua_Number>(INT_MIN) - 1.0))
        return INT_MIN;
    if (n >= static_cast<lua_Number>(INT_MAX) + 1.0)
        return INT_MAX;
    return static_cast<int>(n);
}

// An integer argument (an id, a key, an OSC index): a number, truncated as above. Unlike the
// interpreter's own integer conversion this stays defined for numbers beyond int.
int CheckedIntArg(lua_State* L, int index)
{
    return TruncateToInt(luaL_checknumber(L, index));
}

// A parameter argument: a number is its id, anything else must be a string naming it exactly.
int ParamArg(lua_State* L, int index)
{
    if (lua_type(L, index) == LUA_TNUMBER)
        return TruncateToInt(lua_tonumber(L, index));
    return LuaMIDIHelper::getParam(L, luaL_checkstring(L, index));
}

// A parameter argument that must lie in 0..count-1.
int CheckedParamArg(lua_State* L, LuaMIDIHelper* helper, int index)
{
    const int id = ParamArg(L, index);
    if (id < 0 || id >= helper->GetParameterCount())
        return luaL_error(L, "parameter out of range: %d", id);
    return id;
}

const Tarn::ParamInfo& Info(const void* table, int id)
{
    return static_cast<const Tarn::ParamInfo*>(table)[id];
}

// An indicator id argument in 0..7.
int CheckedIndicatorArg(lua_State* L, int index)
{
    const int id = CheckedIntArg(L, index);
    if (static_cast<unsigned>(id) >= kNumIndicators)
        return luaL_error(L, "indicator id out of range: %d", id);
    return id;
}

int RequestAll(lua_State* L, std::vector<int>& list, const char* name)
{
    if (!lua_isfunction(L, 1))
        return luaL_error(L, "first argument to %s() is not a function", name);
    lua_pushvalue(L, 1);
    list.push_back(luaL_ref(L, LUA_REGISTRYINDEX));
    return 0;
}

int RequestKeyed(lua_State* L, std::map<int, std::vector<int>>& table, const char* name)
{
    const int key = CheckedIntArg(L, 1);
    if (!lua_isfunction(L, 2))
        return luaL_error(L, "second argument to %s() is not a function", name);
    lua_pushvalue(L, 2);
    table[key].push_back(luaL_ref(L, LUA_REGISTRYINDEX));
    return 0;
}

} // namespace

void LuaMIDIScriptAPI::Register(lua_State* L)
{
    static const luaL_Reg kFunctions[] = {
        {"setParameter", setParameter},
        {"getParameter", getParameter},
        {"getParameterID", getParameterID},
        {"getParameterMinMax", getParameterMinMax},
        {"getParameterUnit", getParameterUnit},
        {"getParameterName", getParameterName},
        {"isParameterUsed", isParameterUsed},
        {"getNumParameters", getNumParameters},
        {"sendOSC", sendOSC},
        {"setOthersParameter", setOthersParameter},
        {"getOthersParameter", getOthersParameter},
        {"requestAllNoteOn", requestAllNoteOn},
        {"requestAllNoteOff", requestAllNoteOff},
        {"requestAllCC", requestAllCC},
        {"requestAllNRPN", requestAllNRPN},
        {"requestAllProgramChange", requestAllProgramChange},
        {"requestAllPolyPressure", requestAllPolyPressure},
        {"requestNoteOn", requestNoteOn},
        {"requestNoteOff", requestNoteOff},
        {"requestCC", requestCC},
        {"requestNRPN", requestNRPN},
        {"requestProgramChange", requestProgramChange},
        {"requestPolyPressure", requestPolyPressure},
        {"requestPitchWheel", requestPitchWheel},
        {"requestChannelPressure", requestChannelPressure},
        {"time", time},
        {"requestTimedCallback", requestTimedCallback},
        {"requestPeriodicCallback", requestPeriodicCallback},
        {"cancelTimer", cancelTimer},
        {"setGUIBoolValue", setGUIBoolValue},
        {"getGUIBoolValue", getGUIBoolValue},
        {"setOthersGUIBoolValue", setOthersGUIBoolValue},
        {"getOthersGUIBoolValue", getOthersGUIBoolValue},
        {"registerOSCPathForParameter", registerOSCPathForParameter},
        {"registerOSCPathForParameterNormalized", registerOSCPathForParameterNormalized},
        {"registerOSCPathForFunction", registerOSCPathForFunction},
    };
    static_assert(sizeof kFunctions / sizeof kFunctions[0] == 36);
    for (const luaL_Reg& f : kFunctions)
        lua_register(L, f.name, f.func);
}

// ---- Parameters ----

namespace
{

// A parameter value argument as the 32-bit float that is stored; NaN, infinities and numbers
// beyond the float range are refused.
float FiniteValueArg(lua_State* L, int idx)
{
    const float value = static_cast<float>(luaL_checknumber(L, idx));
    if (!std::isfinite(value))
        luaL_error(L, "value is not a finite number");
    return value;
}

} // namespace

int LuaMIDIScriptAPI::setParameter(lua_State* L)
{
    LuaMIDIHelper* self = LuaMIDIHelper::getRefCon(L);
    const int id = ParamArg(L, 1); // not range-checked: the store refuses what it does not hold
    const float value = FiniteValueArg(L, 2);
    AUParameterSet(nullptr, nullptr,
                   {self->m_instance, static_cast<ParameterID>(id), Scope::Global, 0}, value, 0);
    return 0;
}

int LuaMIDIScriptAPI::getParameter(lua_State* L)
{
    LuaMIDIHelper* self = LuaMIDIHelper::getRefCon(L);
    const int id = CheckedParamArg(L, self, 1);
    // A reserved identifier, which the store does not hold, reads as 0.
    float value = 0.0f;
    self->m_instance->DispatchGetParameter(static_cast<ParameterID>(id), Scope::Global, 0, value);
    lua_pushnumber(L, value);
    return 1;
}

int LuaMIDIScriptAPI::getParameterID(lua_State* L)
{
    lua_pushinteger(L, LuaMIDIHelper::getParam(L, luaL_checkstring(L, 1)));
    return 1;
}

int LuaMIDIScriptAPI::getParameterMinMax(lua_State* L)
{
    LuaMIDIHelper* self = LuaMIDIHelper::getRefCon(L);
    const Tarn::ParamInfo& info = Info(self->m_paramInfos, CheckedParamArg(L, self, 1));
    lua_pushnumber(L, info.minValue);
    lua_pushnumber(L, info.maxValue);
    return 2;
}

int LuaMIDIScriptAPI::getParameterUnit(lua_State* L)
{
    LuaMIDIHelper* self = LuaMIDIHelper::getRefCon(L);
    lua_pushnumber(L, Info(self->m_paramInfos, CheckedParamArg(L, self, 1)).unit);
    return 1;
}

int LuaMIDIScriptAPI::getParameterName(lua_State* L)
{
    LuaMIDIHelper* self = LuaMIDIHelper::getRefCon(L);
    const char* name = Info(self->m_paramInfos, CheckedParamArg(L, self, 1)).name;
    // At most 63 bytes of UTF-8, never cutting a character in two.
    std::size_t length = name ? std::strlen(name) : 0;
    if (length > 63)
    {
        length = 63;
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
            --length;
    }
    lua_pushlstring(L, name ? name : "", length);
    return 1;
}

int LuaMIDIScriptAPI::isParameterUsed(lua_State* L)
{
    LuaMIDIHelper* self = LuaMIDIHelper::getRefCon(L);
    lua_pushboolean(L, self->isParameterUsed(CheckedParamArg(L, self, 1)));
    return 1;
}

int LuaMIDIScriptAPI::getNumParameters(lua_State* L)
{
    lua_pushinteger(L, LuaMIDIHelper::getRefCon(L)->GetParameterCount());
    return 1;
}

// ---- Other instances ----

int LuaMIDIScriptAPI::setOthersParameter(lua_State* L)
{
    const int index = CheckedIntArg(L, 1);
    const int id = ParamArg(L, 2);
    const float value = FiniteValueArg(L, 3);
    TarnInstanceTracker::SetParameterOnAllByOSCIndex(index, id, value);
    return 0;
}

int LuaMIDIScriptAPI::getOthersParameter(lua_State* L)
{
    const int index = CheckedIntArg(L, 1);
    const int id = ParamArg(L, 2);
    lua_pushnumber(L, TarnInstanceTracker::GetParameterFromAllByOSCIndex(index, id));
    return 1;
}

int LuaMIDIScriptAPI::setOthersGUIBoolValue(lua_State* L)
{
    const int index = CheckedIntArg(L, 1);
    const int id = CheckedIndicatorArg(L, 2);
    TarnInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(index, id, lua_toboolean(L, 3) ? 1 : 0);
    return 0;
}

int LuaMIDIScriptAPI::getOthersGUIBoolValue(lua_State* L)
{
    const int index = CheckedIntArg(L, 1);
    const int id = CheckedIndicatorArg(L, 2);
    lua_pushboolean(L, TarnInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(index, id) != 0);
    return 1;
}

// ---- Handlers ----

int LuaMIDIScriptAPI::requestAllNoteOn(lua_State* L)
{
    return RequestAll(L, LuaMIDIHelper::getRefCon(L)->m_allNoteOn, "requestAllNoteOn");
}

int LuaMIDIScriptAPI::requestAllNoteOff(lua_State* L)
{
    return RequestAll(L, LuaMIDIHelper::getRefCon(L)->m_allNoteOff, "requestAllNoteOff");
}

int LuaMIDIScriptAPI::requestAllCC(lua_State* L)
{
    return RequestAll(L, LuaMIDIHelper::getRefCon(L)->m_allCC, "requestAllCC");
}

int LuaMIDIScriptAPI::requestAllNRPN(lua_State* L)
{
    return RequestAll(L, LuaMIDIHelper::getRefCon(L)->m_allNRPN, "requestAllNRPN");
}

int LuaMIDIScriptAPI::requestAllProgramChange(lua_State* L)
{
    return RequestAll(L, LuaMIDIHelper::getRefCon(L)->m_allProgramChange,
                      "requestAllProgramChange");
}

int LuaMIDIScriptAPI::requestAllPolyPressure(lua_State* L)
{
    return RequestAll(L, LuaMIDIHelper::getRefCon(L)->m_allPolyPressure, "requestAllPolyPressure");
}

int LuaMIDIScriptAPI::requestNoteOn(lua_State* L)
{
    return RequestKeyed(L, LuaMIDIHelper::getRefCon(L)->m_noteOn, "requestNoteOn");
}

int LuaMIDIScriptAPI::requestNoteOff(lua_State* L)
{
    return RequestKeyed(L, LuaMIDIHelper::getRefCon(L)->m_noteOff, "requestNoteOff");
}

int LuaMIDIScriptAPI::requestCC(lua_State* L)
{
    return RequestKeyed(L, LuaMIDIHelper::getRefCon(L)->m_cc, "requestCC");
}

int LuaMIDIScriptAPI::requestNRPN(lua_State* L)
{
    return RequestKeyed(L, LuaMIDIHelper::getRefCon(L)->m_nrpn, "requestNRPN");
}

int LuaMIDIScriptAPI::requestProgramChange(lua_State* L)
{
    return RequestKeyed(L, LuaMIDIHelper::getRefCon(L)->m_programChange, "requestProgramChange");
}

int LuaMIDIScriptAPI::requestPolyPressure(lua_State* L)
{
    return RequestKeyed(L, LuaMIDIHelper::getRefCon(L)->m_polyPressure, "requestPolyPressure");
}

int LuaMIDIScriptAPI::requestPitchWheel(lua_State* L)
{
    return RequestAll(L, LuaMIDIHelper::getRefCon(L)->m_pitchWheel, "requestPitchWheel");
}

int LuaMIDIScriptAPI::requestChannelPressure(lua_State* L)
{
    return RequestAll(L, LuaMIDIHelper::getRefCon(L)->m_channelPressure, "requestChannelPressure");
}

// ---- Time and timers ----

int LuaMIDIScriptAPI::time(lua_State* L)
{
    lua_pushnumber(L, static_cast<lua_Number>(UpTimeNanoseconds()) * 1e-9);
    return 1;
}

int LuaMIDIScriptAPI::requestTimedCallback(lua_State* L)
{
    return requestTimerCallback(L, false);
}

int LuaMIDIScriptAPI::requestPeriodicCallback(lua_State* L)
{
    return requestTimerCallback(L, true);
}

int LuaMIDIScriptAPI::requestTimerCallback(lua_State* L, bool periodic)
{
    const double seconds = luaL_checknumber(L, 1);
    if (!lua_isfunction(L, 2))
        return luaL_error(L, "second argument to requestTimerCallback() is not a function");
    LuaMIDIHelper* self = LuaMIDIHelper::getRefCon(L);
    // The timer object first, so that nothing can fail between installing and returning it.
    auto* object = static_cast<TimerHandle*>(lua_newuserdata(L, sizeof(TimerHandle)));
    *object = 0;
    luaL_getmetatable(L, LuaMIDIHelper::kMetatableTagTimer);
    lua_setmetatable(L, -2);
    lua_pushvalue(L, 2);
    *object = self->RequestTimer(L, seconds, periodic);
    return 1;
}

int LuaMIDIScriptAPI::cancelTimer(lua_State* L)
{
    const auto* object =
        static_cast<const TimerHandle*>(luaL_checkudata(L, 1, LuaMIDIHelper::kMetatableTagTimer));
    LuaMIDIHelper::getRefCon(L)->CancelTimer(L, *object);
    return 0;
}

// ---- GUI indicators ----

int LuaMIDIScriptAPI::setGUIBoolValue(lua_State* L)
{
    const int id = CheckedIndicatorArg(L, 1);
    LuaMIDIHelper::getRefCon(L)->setGUIBoolValue(id, lua_toboolean(L, 2) ? 1 : 0);
    return 0;
}

int LuaMIDIScriptAPI::getGUIBoolValue(lua_State* L)
{
    const int id = CheckedIndicatorArg(L, 1);
    lua_pushboolean(L, LuaMIDIHelper::getRefCon(L)->getGUIBoolValue(id) != 0);
    return 1;
}

// ---- OSC ----

int LuaMIDIScriptAPI::sendOSC(lua_State* L)
{
    // Needs no server state: it sends from a socket of its own, listening or not.
    return OSCHelper::LuaSendOSC(L);
}

int LuaMIDIScriptAPI::registerOSCPathForParameter(lua_State* L)
{
    OSCHelper* osc = LuaMIDIHelper::getRefCon(L)->m_osc;
    return osc ? osc->RegisterOSCPathForParameter(L, false) : 0;
}

int LuaMIDIScriptAPI::registerOSCPathForParameterNormalized(lua_State* L)
{
    OSCHelper* osc = LuaMIDIHelper::getRefCon(L)->m_osc;
    return osc ? osc->RegisterOSCPathForParameter(L, true) : 0;
}

int LuaMIDIScriptAPI::registerOSCPathForFunction(lua_State* L)
{
    OSCHelper* osc = LuaMIDIHelper::getRefCon(L)->m_osc;
    return osc ? osc->RegisterOSCPathForFunction(L) : 0;
}

} // namespace TW
