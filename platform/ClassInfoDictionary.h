// The class-info dictionary in which a unit's state is saved and restored.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace TW
{

using ClassInfoValue = std::variant<std::int64_t, double, std::string, std::vector<std::uint8_t>>;

// Keys are the host's state keys ("version", "type", "subtype", "manufacturer", "data", "name",
// ...). Values are integers, reals, strings or byte blocks, as in a property list.
using ClassInfoDictionary = std::map<std::string, ClassInfoValue>;

} // namespace TW
