// Where the OSC server meets the MIDI scripts: "/exec", "/call", paths registered for script
// functions and parameters, and the scripts' own sendOSC.
#include "OSCHelper.h"

#include "OSCReply.h"

#include "core/ParameterTable.h"
#include "scripting/LuaMIDIHelper.h"

#include <lua.hpp>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

namespace TW
{

namespace
{

constexpr int kMaxCallResults = 16;

// Puts the interpreter's stack back to a height when the scope ends, however it ends.
class StackRestore
{
public:
    StackRestore(lua_State* L) : m_L(L), m_top(lua_gettop(L)) {}
    ~StackRestore() { lua_settop(m_L, m_top); }
    StackRestore(const StackRestore&) = delete;
    StackRestore& operator=(const StackRestore&) = delete;
    int Top() const noexcept { return m_top; }

private:
    lua_State* m_L;
    int m_top;
};

// A Lua number as an int, truncated toward zero; -1 when it does not fit.
int NumberToId(lua_Number n) noexcept
{
    if (!(n > -2147483649.0 && n < 2147483648.0))
        return -1;
    return static_cast<int>(n);
}

// A Lua number as an OSC int32, truncated toward zero and held within the int32 range.
osc::int32 TruncateToInt32(lua_Number n) noexcept
{
    if (std::isnan(n))
        return 0;
    if (n <= -2147483648.0)
        return INT32_MIN;
    if (n >= 2147483647.0)
        return INT32_MAX;
    return static_cast<osc::int32>(n);
}

// The parameter at idx: a number (its id) or an exact display name. Raises a script error for
// an unknown name or anything else.
int ParameterArgument(lua_State* L, int idx)
{
    if (lua_type(L, idx) == LUA_TNUMBER)
        return NumberToId(lua_tonumber(L, idx));
    if (lua_type(L, idx) == LUA_TSTRING)
        return LuaMIDIHelper::getParam(L, lua_tostring(L, idx));
    luaL_error(L, "parameter must be an id or a name, not a %s", luaL_typename(L, idx));
    return -1;
}

} // namespace

void OSCHelper::CheckScriptArguments(osc::ReceivedMessage::const_iterator first,
                                     osc::ReceivedMessage::const_iterator end)
{
    for (auto arg = first; arg != end; ++arg)
        switch (arg->TypeTag())
        {
        case osc::TRUE_TYPE_TAG:
        case osc::FALSE_TYPE_TAG:
        case osc::NIL_TYPE_TAG:
        case osc::INT32_TYPE_TAG:
        case osc::INT64_TYPE_TAG:
        case osc::STRING_TYPE_TAG:
            break;
        case osc::FLOAT_TYPE_TAG:
            if (!std::isfinite(arg->AsFloat()))
                throw OSCError("value is not a finite number");
            break;
        case osc::DOUBLE_TYPE_TAG:
            if (!std::isfinite(arg->AsDouble()))
                throw OSCError("value is not a finite number");
            break;
        default:
            throw OSCError("unhandled argument type to exec");
        }
}

int OSCHelper::PushScriptArguments(lua_State* L, osc::ReceivedMessage::const_iterator first,
                                   osc::ReceivedMessage::const_iterator end)
{
    CheckScriptArguments(first, end);
    int count = 0;
    for (auto arg = first; arg != end; ++arg)
        ++count;
    if (!lua_checkstack(L, count + 1))
        throw OSCError("too many arguments for a script call");
    for (auto arg = first; arg != end; ++arg)
        switch (arg->TypeTag())
        {
        case osc::TRUE_TYPE_TAG:
            lua_pushboolean(L, 1);
            break;
        case osc::FALSE_TYPE_TAG:
            lua_pushboolean(L, 0);
            break;
        case osc::NIL_TYPE_TAG:
            lua_pushnil(L);
            break;
        case osc::INT32_TYPE_TAG:
            lua_pushnumber(L, arg->AsInt32());
            break;
        case osc::INT64_TYPE_TAG:
            lua_pushnumber(L, static_cast<lua_Number>(arg->AsInt64()));
            break;
        case osc::FLOAT_TYPE_TAG:
            lua_pushnumber(L, arg->AsFloat());
            break;
        case osc::DOUBLE_TYPE_TAG:
            lua_pushnumber(L, arg->AsDouble());
            break;
        default: // a string: the others were refused above
            lua_pushstring(L, arg->AsString());
            break;
        }
    return count;
}

void OSCHelper::CallScript(const char* function, const osc::ReceivedMessage& message,
                           osc::ReceivedMessage::const_iterator first, const char* replyURL,
                           const char* replyPath)
{
    if (!m_lua)
        throw OSCError("no Lua support from OSC");
    CheckScriptArguments(first, message.ArgumentsEnd());
    std::optional<IpEndpointName> to;
    if (replyURL)
        to = ResolveReplyURL(replyURL);
    std::optional<OSCReply> reply;
    {
        std::lock_guard<std::recursive_mutex> lock(m_lua->GetScriptLock());
        lua_State* L = m_lua->LuaInit();
        if (!L)
            throw OSCError("no Lua support from OSC");
        StackRestore restore(L);
        lua_getglobal(L, function);
        // Only functions that the scripts themselves defined: never one of the interpreter's
        // libraries (dofile, load, os.execute...), which would let any peer on the network run
        // files or programs. All of those are C functions; script functions never are.
        if (!lua_isnil(L, -1) && (!lua_isfunction(L, -1) || lua_iscfunction(L, -1)))
            throw OSCError(std::string("not a function of the MIDI scripts: ") + function);
        const int nargs = PushScriptArguments(L, first, message.ArgumentsEnd());
        if (m_lua->protectedPcall(nargs, to ? kMaxCallResults : 0) != 0)
            throw OSCError("failed to exec function");
        if (!to)
            return;
        // The results in order up to the first nil: numbers as floats, strings as strings.
        reply.emplace(replyPath);
        for (int k = 1; k <= kMaxCallResults; ++k)
        {
            const int idx = restore.Top() + k;
            const int type = lua_type(L, idx);
            if (type == LUA_TNIL)
                break;
            if (type == LUA_TNUMBER)
                reply->Args() << static_cast<float>(lua_tonumber(L, idx));
            else if (type == LUA_TSTRING)
                reply->Args() << lua_tostring(L, idx);
            else
                throw OSCError("unhandled argument type return from call");
        }
    }
    // Sent after the script lock is released, so the network never holds up the render thread.
    if (TakeReplyBudget())
        reply->SendTo(*to);
}

void OSCHelper::Exec(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    auto arg = m.ArgumentsBegin();
    if (arg == m.ArgumentsEnd())
        throw osc::MissingArgumentException();
    const char* function = (arg++)->AsString();
    CallScript(function, m, arg, nullptr, nullptr);
}

void OSCHelper::Call(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    auto arg = m.ArgumentsBegin();
    const char* strings[3] = {};
    for (const char*& s : strings)
    {
        if (arg == m.ArgumentsEnd())
            throw osc::MissingArgumentException();
        s = (arg++)->AsString();
    }
    CallScript(strings[0], m, arg, strings[1], strings[2]);
}

bool OSCHelper::DispatchFunctionPath(const char* address, const osc::ReceivedMessage& message)
{
    std::vector<int> functions;
    {
        std::lock_guard<std::mutex> lock(m_pathLock);
        auto [first, last] = m_functionPaths.equal_range(address);
        for (auto it = first; it != last; ++it)
            functions.push_back(it->second);
    }
    if (functions.empty())
        return false;
    if (!m_lua)
        throw OSCError("no Lua support from OSC");
    CheckScriptArguments(message.ArgumentsBegin(), message.ArgumentsEnd());
    std::lock_guard<std::recursive_mutex> lock(m_lua->GetScriptLock());
    lua_State* L = m_lua->LuaInit();
    if (!L)
        throw OSCError("no Lua support from OSC");
    StackRestore restore(L);
    for (int reference : functions)
    {
        lua_rawgeti(L, LUA_REGISTRYINDEX, reference);
        // A library function registered for a path is refused as by "/exec".
        if (!lua_isfunction(L, -1) || lua_iscfunction(L, -1))
            throw OSCError("not a function of the MIDI scripts: the one registered for " +
                           std::string(address));
        const int nargs = PushScriptArguments(L, message.ArgumentsBegin(), message.ArgumentsEnd());
        if (m_lua->protectedPcall(nargs, 0) != 0)
            throw OSCError("failed to pcall function");
    }
    return true;
}

int OSCHelper::RegisterOSCPathForParameter(lua_State* L, bool normalized)
{
    const char* path = luaL_checkstring(L, 1);
    std::vector<int> ids;
    if (lua_istable(L, 2))
    {
        const int n = static_cast<int>(lua_objlen(L, 2));
        for (int i = 1; i <= n; ++i)
        {
            lua_rawgeti(L, 2, i);
            ids.push_back(ParameterArgument(L, -1));
            lua_pop(L, 1);
        }
    }
    else
        ids.push_back(ParameterArgument(L, 2));

    std::vector<RegisteredPathParam> params;
    params.reserve(ids.size());
    for (int id : ids)
    {
        RegisteredPathParam param;
        param.id = id;
        if (normalized)
        {
            // The range comes from the parameter's record, so the id must name one.
            if (id < 0 || id >= m_paramCount || !m_paramInfos)
                luaL_error(L, "parameter out of range: %d", id);
            param.offset = m_paramInfos[id].minValue;
            param.scale = m_paramInfos[id].maxValue - m_paramInfos[id].minValue;
        }
        params.push_back(param);
    }
    if (!AddParameterPath(path, std::move(params)))
        LuaMIDIHelper::LuaError(L, "inconsistent sizes in RegisterOSCPathForParameter\n");
    return 0;
}

int OSCHelper::RegisterOSCPathForFunction(lua_State* L)
{
    const char* path = luaL_checkstring(L, 1);
    if (!lua_isfunction(L, 2))
        luaL_error(L, "second argument to registerOSCPathForFunction is not a function");
    lua_pushvalue(L, 2);
    const int reference = luaL_ref(L, LUA_REGISTRYINDEX);
    AddFunctionPath(path, reference);
    return 0;
}

int OSCHelper::LuaSendOSC(lua_State* L)
{
    const char* url = luaL_checkstring(L, 1);
    const char* path = luaL_checkstring(L, 2);
    int valuesIndex = 0;
    const char* format = nullptr;
    if (lua_gettop(L) == 3)
    {
        luaL_checktype(L, 3, LUA_TTABLE);
        valuesIndex = 3;
    }
    else if (lua_gettop(L) == 4)
    {
        format = luaL_checkstring(L, 3);
        luaL_checktype(L, 4, LUA_TTABLE);
        valuesIndex = 4;
    }

    // oscpack and the resolver report by C++ exceptions; they become the script error here.
    std::string error;
    try
    {
        const IpEndpointName to = ResolveOSCURL(url);
        OSCReply message(path);
        if (valuesIndex)
        {
            const std::size_t n = lua_objlen(L, valuesIndex);
            if (format && std::strlen(format) != n)
                throw OSCError("format string length mismatch in sendOSC");
            for (std::size_t i = 1; i <= n; ++i)
            {
                lua_rawgeti(L, valuesIndex, static_cast<int>(i));
                const int type = lua_type(L, -1);
                if (type == LUA_TNIL)
                    message.Args() << osc::OscNil;
                else if (lua_isnumber(L, -1)) // numbers, and strings that read as numbers
                {
                    const lua_Number n = lua_tonumber(L, -1);
                    if (format && format[i - 1] == 'i')
                        message.Args() << TruncateToInt32(n);
                    else
                        message.Args() << static_cast<float>(n);
                }
                else if (type == LUA_TSTRING)
                    message.Args() << lua_tostring(L, -1);
                else
                {
                    lua_pop(L, 1);
                    throw OSCError("unhandled argument type return from call");
                }
                lua_pop(L, 1);
            }
        }
        message.SendTo(to);
    }
    catch (const std::exception& e)
    {
        error = e.what();
    }
    if (!error.empty())
        luaL_error(L, "%s", error.c_str());
    return 0;
}

} // namespace TW
