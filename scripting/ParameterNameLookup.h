// Parameter identifiers by display name, as script and skin code name parameters
// ("Volume", "Env 1 Time A3"): one table built from the instance's parameter table, looked up
// without allocating, so a MIDI handler on the render thread may use it.
#pragma once

#include <functional>
#include <map>
#include <string>

struct lua_State;

namespace Tarn
{
struct ParamInfo;
}

namespace TW
{

class ParameterNameLookup
{
public:
    // Names are taken as 7-bit text of at most kMaxNameBytes bytes (other bytes read as '?');
    // the first parameter of a name keeps it. Owner's thread, between calls into the script.
    static constexpr std::size_t kMaxNameBytes = 99;
    void Build(const Tarn::ParamInfo* infos, int count);
    void Clear() noexcept { m_ids.clear(); }

    // The identifier of the parameter called name, or -1. Any thread; allocates nothing.
    int Find(const char* name) const noexcept;
    // The identifier in lookup (null: none), or a Lua error "parameter not found: 'name'" raised
    // in L, which does not return. The thread running L.
    static int FindOrRaise(const ParameterNameLookup* lookup, lua_State* L, const char* name);

private:
    std::map<std::string, int, std::less<>> m_ids;
};

} // namespace TW
