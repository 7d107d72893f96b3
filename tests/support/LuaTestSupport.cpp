#include "LuaTestSupport.h"

#include <lua.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

namespace TarnTest
{
namespace
{

// The user domain's and the local domain's folders.
const char* const kVariables[2] = {"XDG_DATA_HOME", "VELLUNA_LOCAL_DATA_DIR"};

// Runs code; on success leaves its results (at most one) and returns "", else the error text.
std::string Eval(TW::LuaMIDIHelper& helper, const std::string& code, int results)
{
    lua_State* L = helper.GetLuaState();
    if (!L)
        return "no interpreter";
    if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0)
    {
        std::string error = lua_tostring(L, -1);
        lua_pop(L, 1);
        return error;
    }
    if (helper.protectedPcall(0, results) != 0)
    {
        const char* text = lua_tostring(L, -1);
        std::string error = text ? text : "(not a string)";
        lua_pop(L, 1);
        return error;
    }
    return {};
}

} // namespace

std::string RunLua(TW::LuaMIDIHelper& helper, const std::string& code)
{
    std::lock_guard<std::recursive_mutex> lock(helper.GetScriptLock());
    return Eval(helper, code, 0);
}

double LuaNumber(TW::LuaMIDIHelper& helper, const std::string& expression)
{
    std::lock_guard<std::recursive_mutex> lock(helper.GetScriptLock());
    const std::string error = Eval(helper, "return " + expression, 1);
    if (!error.empty())
        throw std::runtime_error(error);
    lua_State* L = helper.GetLuaState();
    const double value = lua_isnumber(L, -1) ? lua_tonumber(L, -1) : -12345.0;
    lua_pop(L, 1);
    return value;
}

std::string LuaString(TW::LuaMIDIHelper& helper, const std::string& expression)
{
    std::lock_guard<std::recursive_mutex> lock(helper.GetScriptLock());
    const std::string error = Eval(helper, "return tostring(" + expression + ")", 1);
    if (!error.empty())
        throw std::runtime_error(error);
    lua_State* L = helper.GetLuaState();
    std::string value = lua_tostring(L, -1);
    lua_pop(L, 1);
    return value;
}

bool LuaBool(TW::LuaMIDIHelper& helper, const std::string& expression)
{
    return LuaString(helper, expression) == "true";
}

int LuaStackDepth(TW::LuaMIDIHelper& helper)
{
    std::lock_guard<std::recursive_mutex> lock(helper.GetScriptLock());
    lua_State* L = helper.GetLuaState();
    return L ? lua_gettop(L) : -1;
}

ScratchDataHome::ScratchDataHome()
{
    char pattern[] = "/tmp/velluna-scripts-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot make a temporary folder");
    m_root = pattern;
    m_scripts = m_root + "/user/Tarnwick/Velluna/Scripts";
    m_localScripts = m_root + "/local/Tarnwick/Velluna/Scripts";
    std::filesystem::create_directories(m_scripts);
    std::filesystem::create_directories(m_localScripts);
    for (int i = 0; i < 2; ++i)
        if (const char* previous = std::getenv(kVariables[i]))
        {
            m_hadPrevious[i] = true;
            m_previous[i] = previous;
        }
    ::setenv(kVariables[0], (m_root + "/user").c_str(), 1);
    ::setenv(kVariables[1], (m_root + "/local").c_str(), 1);
}

ScratchDataHome::~ScratchDataHome()
{
    for (int i = 0; i < 2; ++i)
        if (m_hadPrevious[i])
            ::setenv(kVariables[i], m_previous[i].c_str(), 1);
        else
            ::unsetenv(kVariables[i]);
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string ScratchDataHome::AddScript(const std::string& name, const std::string& text,
                                       bool local) const
{
    const std::string path = (local ? m_localScripts : m_scripts) + "/" + name;
    std::ofstream(path) << text;
    return path;
}

} // namespace TarnTest
