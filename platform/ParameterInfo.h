// The host's description record of one parameter.
#pragma once

#include <cstdint>

namespace TW
{

constexpr std::uint32_t kParameterFlagGlobal = 0x00000001;           // legacy global-scope bit
constexpr std::uint32_t kParameterFlagValuesHaveStrings = 0x00200000; // ask for display strings
constexpr std::uint32_t kParameterFlagHasNameString = 0x08000000;
constexpr std::uint32_t kParameterFlagIsReadable = 0x40000000;
constexpr std::uint32_t kParameterFlagIsWritable = 0x80000000;

// Parameter unit codes, numbered as the host's published unit list.
enum ParameterUnit : std::uint32_t
{
    kUnitGeneric = 0,
    kUnitIndexed = 1,
    kUnitBoolean = 2,
    kUnitPercent = 3,
    kUnitSeconds = 4,
    kUnitHertz = 8,
    kUnitCents = 9,
    kUnitRelativeSemiTones = 10,
    kUnitLinearGain = 14,
    kUnitMixerFaderCurve1 = 17,
    kUnitMilliseconds = 24,
};

struct ParameterInfo
{
    char name[52] = {};                // UTF-8, NUL-terminated
    const char* nameString = nullptr;  // constant string owned by the unit; never released
    std::uint32_t unit = kUnitGeneric;
    float minValue = 0.0f;
    float maxValue = 0.0f;
    float defaultValue = 0.0f;
    std::uint32_t flags = 0;
};

} // namespace TW
