// Helpers for tests of the MIDI scripting host: run script code in an instance's interpreter
// the way the OSC server does (under the script lock, through protectedPcall), read globals, and
// lay out user script folders under a temporary XDG_DATA_HOME.
#pragma once

#include "scripting/LuaMIDIHelper.h"
#include "scripting/VeLuLuaMIDIHelper.h"

#include <string>

namespace TarnTest
{

// Runs a chunk under the script lock and the instruction budget. Returns "" on success, else the
// error text. The stack is restored either way.
std::string RunLua(TW::LuaMIDIHelper& helper, const std::string& code);

// The value of a global (or any expression), converted: numbers, strings, booleans.
double LuaNumber(TW::LuaMIDIHelper& helper, const std::string& expression);
std::string LuaString(TW::LuaMIDIHelper& helper, const std::string& expression);
bool LuaBool(TW::LuaMIDIHelper& helper, const std::string& expression);

// The interpreter's stack depth (under the script lock); -1 without an interpreter.
int LuaStackDepth(TW::LuaMIDIHelper& helper);

// Temporary user and local data folders (XDG_DATA_HOME, VELLUNA_LOCAL_DATA_DIR) for the life of
// the object, with empty Scripts folders; the previous values are restored afterwards.
class ScratchDataHome
{
public:
    ScratchDataHome();
    ~ScratchDataHome();
    ScratchDataHome(const ScratchDataHome&) = delete;
    ScratchDataHome& operator=(const ScratchDataHome&) = delete;

    // The user Scripts folder of the instrument under this data home.
    const std::string& ScriptsFolder() const { return m_scripts; }
    // Writes a file into the user's (or the local) Scripts folder; returns its path.
    std::string AddScript(const std::string& name, const std::string& text,
                          bool local = false) const;

private:
    std::string m_root;
    std::string m_scripts;
    std::string m_localScripts;
    std::string m_previous[2];
    bool m_hadPrevious[2] = {false, false};
};

} // namespace TarnTest
