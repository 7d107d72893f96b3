// The skin's global functions and the methods of its metatables (Group, Element, Label,
// TextField), registered into a LuaGui's interpreter. Each finds its LuaGui through the
// interpreter (LuaGui::getRefCon) and runs on the main (host UI) thread inside a guarded call.
#pragma once

#include <memory>

struct lua_State;

namespace TW
{

class Font;

class LuaGuiFunctions
{
public:
    // The global functions, the metatables and their methods.
    static void Register(lua_State* L);
    // The font made of the font list at index (an array of {name =, size =} tables, faces in
    // order); null for anything that is not a table or names no loadable face.
    static std::unique_ptr<Font> FontFromList(lua_State* L, int index);
    // True when format is a printf format that formats exactly one double (with any flags,
    // width and precision) and otherwise only literal text and "%%".
    static bool IsNumberFormat(const char* format);
};

} // namespace TW
