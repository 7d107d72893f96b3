// The "data" block of a saved state: every element's parameters as big-endian numbers.
//
// Layout, repeated for each element that has parameters:
//   scope (u32), element (u32), count (u32), then count pairs of identifier (u32), value (f32)
// All numbers are big-endian; identifiers are in ascending order when we write them.
#pragma once

#include "AudioTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace TW
{

struct StateParameter
{
    ParameterID id;
    float value;
};

struct StateElementValues
{
    Scope scope = Scope::Global;
    Element element = 0;
    std::vector<StateParameter> values;
};

// Any thread.
std::vector<std::uint8_t> EncodeStateData(const std::vector<StateElementValues>& elements);

// Reads a whole block. False, with a one-line reason in error, for a block that is truncated,
// has bytes left over, or carries a non-finite value; out is then unspecified. Any thread.
bool DecodeStateData(const std::uint8_t* data, std::size_t size,
                     std::vector<StateElementValues>& out, std::string& error);

} // namespace TW
