#include "ParameterNameLookup.h"

#include "core/ParameterTable.h"

#include <lua.hpp>

#include <string_view>

namespace TW
{

void ParameterNameLookup::Build(const Tarn::ParamInfo* infos, int count)
{
    m_ids.clear();
    for (int id = 0; infos && id < count; ++id)
    {
        if (!infos[id].name)
            continue;
        std::string name;
        for (const char* c = infos[id].name; *c && name.size() < kMaxNameBytes; ++c)
            name.push_back(static_cast<unsigned char>(*c) < 0x80 ? *c : '?');
        m_ids.emplace(std::move(name), id);
    }
}

int ParameterNameLookup::Find(const char* name) const noexcept
{
    if (!name)
        return -1;
    // Found by the C string itself: no temporary string.
    const auto it = m_ids.find(std::string_view(name));
    return it != m_ids.end() ? it->second : -1;
}

int ParameterNameLookup::FindOrRaise(const ParameterNameLookup* lookup, lua_State* L,
                                     const char* name)
{
    const int id = lookup ? lookup->Find(name) : -1;
    if (id < 0)
        return luaL_error(L, "parameter not found: '%s'", name ? name : "");
    return id;
}

} // namespace TW
