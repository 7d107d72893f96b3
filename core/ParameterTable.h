// The parameter table: name, unit, range and default of every identifier 0..180. It is the one
// source of parameter metadata for hosts, the command line, scripts, OSC and the editor.
#pragma once

#include "InstrumentConstants.h"

#include "platform/ParameterInfo.h"

#include <cstdint>

namespace Tarn
{

struct ParamInfo
{
    const char* name;   // display name, constant for the life of the process
    std::uint32_t unit; // TW::ParameterUnit
    float minValue;
    float maxValue;
    float defaultValue;
};

extern const ParamInfo astParamInfos[kNumParams];

// Live identifiers exist in the store from construction; reserved ones ("u0".."u1f") are
// described but never created; invalid ones ("Unused0".."Unused8", and >180) are refused.
enum class ParamKind
{
    Live,
    Reserved,
    Invalid,
};

ParamKind GetParamKind(std::uint32_t id) noexcept;
inline bool IsInvalidParam(std::uint32_t id) noexcept
{
    return GetParamKind(id) == ParamKind::Invalid;
}

// The identifier with exactly this display name, or -1.
int FindParamByName(const char* name) noexcept;

// Identifiers whose values have display strings ("Inf", filter types, "Off").
bool ParamHasValueStrings(std::uint32_t id) noexcept;

} // namespace Tarn
