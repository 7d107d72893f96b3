// The parameter table: name, unit, range and default of every identifier 0..180. It is the one
// source of parameter metadata for hosts, the command line, scripts, OSC and the editor.
#pragma once

#include "InstrumentConstants.h"

#include "platform/ParameterInfo.h"

#include <array>
#include <cstdint>

namespace Tarn
{

// Every identifier by the name of its row: kParam followed by the display name's words (the
// table checks at compile time that each name sits on its own row, in this order).
enum ParamId : std::uint32_t
{
    kParamVolume, // 0
    kParamLevel1,
    kParamLevel2,
    kParamLevel3,
    kParamLevel4,
    kParamLevel5,
    kParamLevel6,
    kParamLevel7,
    kParamLevel8,
    kParamLevel9,
    kParamLevel10, // 10
    kParamLevel11,
    kParamLevel12,
    kParamLevel13,
    kParamLevel14,
    kParamLevel15,
    kParamLevel16,
    kParamU0,
    kParamU1,
    kParamU2,
    kParamU3, // 20
    kParamU4,
    kParamU5,
    kParamU6,
    kParamU7,
    kParamU8,
    kParamU9,
    kParamUa,
    kParamUb,
    kParamUc,
    kParamUd, // 30
    kParamUe,
    kParamUf,
    kParamAttack,
    kParamDecay,
    kParamRelease,
    kParamAttackShape,
    kParamDecayShape,
    kParamReleaseShape,
    kParamUnused0,
    kParamSustain, // 40
    kParamEnv1TimeA1,
    kParamEnv1TimeA2,
    kParamEnv1TimeA3,
    kParamEnv1TimeR1,
    kParamEnv1TimeR2,
    kParamEnv1ShapeA1,
    kParamEnv1ShapeA2,
    kParamEnv1ShapeA3,
    kParamEnv1ShapeR1,
    kParamEnv1ShapeR2, // 50
    kParamEnv1LevelA1,
    kParamEnv1LevelA2,
    kParamEnv1Sustain,
    kParamEnv1LevelR1,
    kParamEnv2TimeA1,
    kParamEnv2TimeA2,
    kParamEnv2TimeA3,
    kParamEnv2TimeR1,
    kParamEnv2TimeR2,
    kParamEnv2ShapeA1, // 60
    kParamEnv2ShapeA2,
    kParamEnv2ShapeA3,
    kParamEnv2ShapeR1,
    kParamEnv2ShapeR2,
    kParamEnv2LevelA1,
    kParamEnv2LevelA2,
    kParamEnv2Sustain,
    kParamEnv2LevelR1,
    kParamEnv3TimeA1,
    kParamEnv3TimeA2, // 70
    kParamEnv3TimeA3,
    kParamEnv3TimeR1,
    kParamEnv3TimeR2,
    kParamEnv3ShapeA1,
    kParamEnv3ShapeA2,
    kParamEnv3ShapeA3,
    kParamEnv3ShapeR1,
    kParamEnv3ShapeR2,
    kParamEnv3LevelA1,
    kParamEnv3LevelA2, // 80
    kParamEnv3Sustain,
    kParamEnv3LevelR1,
    kParamEnvSelect1,
    kParamEnvSelect2,
    kParamEnvSelect3,
    kParamEnvSelect4,
    kParamEnvSelect5,
    kParamEnvSelect6,
    kParamEnvSelect7,
    kParamEnvSelect8, // 90
    kParamEnvSelect9,
    kParamEnvSelect10,
    kParamEnvSelect11,
    kParamEnvSelect12,
    kParamEnvSelect13,
    kParamEnvSelect14,
    kParamEnvSelect15,
    kParamEnvSelect16,
    kParamU10,
    kParamU11, // 100
    kParamU12,
    kParamU13,
    kParamU14,
    kParamU15,
    kParamU16,
    kParamU17,
    kParamU18,
    kParamU19,
    kParamU1a,
    kParamU1b, // 110
    kParamU1c,
    kParamU1d,
    kParamU1e,
    kParamU1f,
    kParamLFO1Speed,
    kParamLFO1Offset,
    kParamLFO1Amount,
    kParamLFO2Speed,
    kParamLFO2Offset,
    kParamLFO2Amount, // 120
    kParamLFO3Speed,
    kParamLFO3Offset,
    kParamLFO3Amount,
    kParamLFO4Speed,
    kParamLFO4Offset,
    kParamLFO4Amount,
    kParamPulseWidth,
    kParamPWLFOSpeed,
    kParamPWLFOAmount,
    kParamPWEnvAttack, // 130
    kParamPWEnvDecay,
    kParamPWEnvRelease,
    kParamUnused1,
    kParamUnused2,
    kParamUnused3,
    kParamUnused4,
    kParamPWEnvSustain,
    kParamPWEnvAmount,
    kParamFilterCutoff,
    kParamFilterQ, // 140
    kParamFilterType,
    kParamFilterLFOSpeed,
    kParamFilterLFOAmount,
    kParamFilterLFOTypeAmount,
    kParamFilterEnvAttack,
    kParamFilterEnvDecay,
    kParamFilterEnvRelease,
    kParamUnused5,
    kParamUnused6,
    kParamUnused7, // 150
    kParamUnused8,
    kParamFilterEnvSustain,
    kParamFilterEnvAmount,
    kParamPitchWheelRange,
    kParamVelocityEnvAmount,
    kParamVelocityFilterAmount,
    kParamVelocityFilterEnvAmount,
    kParamVelocityPWAmount,
    kParamVelocityPWEnvAmount,
    kParamCoarseTune, // 160
    kParamFineTune,
    kParamModulationOnOff,
    kParamModulationWetDry,
    kParamModulationDelay,
    kParamModulationSweep,
    kParamModulationRate,
    kParamModulationFeedback,
    kParamModulationSpread,
    kParamModulationVoices,
    kParamModulationShape, // 170
    kParamFilterKBTrack,
    kParamLFO1KBTrack,
    kParamLFO1Multiplier,
    kParamLFO2KBTrack,
    kParamLFO2Multiplier,
    kParamLFO3KBTrack,
    kParamLFO3Multiplier,
    kParamLFO4KBTrack,
    kParamLFO4Multiplier,
    kParamOSCPortOffset, // 180
    kParamIdCount
};
static_assert(kParamIdCount == kNumParams, "one identifier name for each row of the table");

// Repeated groups: partial k (1..16) is kParamLevel1 + k - 1 and kParamEnvSelect1 + k - 1;
// partial envelope e (0..2) and LFO n (0..3) repeat their first group's rows at a stride.
constexpr std::uint32_t kNumParamPartials = kParamLevel16 - kParamLevel1 + 1;
constexpr std::uint32_t kNumParamEnvelopes = 3;
constexpr std::uint32_t kParamEnvStride = kParamEnv2TimeA1 - kParamEnv1TimeA1;
constexpr std::uint32_t kNumParamLFOs = 4;
constexpr std::uint32_t kParamLFOStride = kParamLFO2Speed - kParamLFO1Speed;
constexpr std::uint32_t kParamLFOKBStride = kParamLFO2KBTrack - kParamLFO1KBTrack;

struct ParamInfo
{
    const char* name;   // display name, constant for the life of the process
    std::uint32_t unit; // TW::ParameterUnit
    float minValue;
    float maxValue;
    float defaultValue;
};

extern const std::array<ParamInfo, kNumParams> astParamInfos;

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
