// Parameter identifiers that the engine reads, by the names the parameter table gives them.
#pragma once

#include <cstdint>

namespace Tarn::EngineParam
{

constexpr std::uint32_t kVolume = 0;
constexpr std::uint32_t kLevel1 = 1; // "Level 1" .. "Level 16" are 1..16
constexpr std::uint32_t kAttack = 33;
constexpr std::uint32_t kDecay = 34;
constexpr std::uint32_t kRelease = 35;
constexpr std::uint32_t kAttackShape = 36;
constexpr std::uint32_t kDecayShape = 37;
constexpr std::uint32_t kReleaseShape = 38;
constexpr std::uint32_t kSustain = 40;

// Partial envelope n (0..2) starts at kEnvBase + kEnvStride * n; offsets within it:
constexpr std::uint32_t kEnvBase = 41;
constexpr std::uint32_t kEnvStride = 14;
constexpr std::uint32_t kEnvTimeA1 = 0, kEnvTimeA2 = 1, kEnvTimeA3 = 2, kEnvTimeR1 = 3,
                        kEnvTimeR2 = 4;
constexpr std::uint32_t kEnvShapeA1 = 5, kEnvShapeA2 = 6, kEnvShapeA3 = 7, kEnvShapeR1 = 8,
                        kEnvShapeR2 = 9;
constexpr std::uint32_t kEnvLevelA1 = 10, kEnvLevelA2 = 11, kEnvSustain = 12, kEnvLevelR1 = 13;

constexpr std::uint32_t kEnvSelect1 = 83; // "Env Select 1" .. "Env Select 16" are 83..98

// LFO n (0..3 for LFO 1..4): speed, offset, amount at kLfoBase + 3n + 0, 1, 2;
// key tracking and multiplier at kLfoKbBase + 2n + 0, 1.
constexpr std::uint32_t kLfoBase = 115;
constexpr std::uint32_t kLfoKbBase = 172;

constexpr std::uint32_t kPulseWidth = 127;
constexpr std::uint32_t kPwLfoSpeed = 128;
constexpr std::uint32_t kPwLfoAmount = 129;
constexpr std::uint32_t kPwEnvAttack = 130;
constexpr std::uint32_t kPwEnvDecay = 131;
constexpr std::uint32_t kPwEnvRelease = 132;
constexpr std::uint32_t kPwEnvSustain = 137;
constexpr std::uint32_t kPwEnvAmount = 138;

constexpr std::uint32_t kFilterCutoff = 139;
constexpr std::uint32_t kFilterQ = 140;
constexpr std::uint32_t kFilterType = 141;
constexpr std::uint32_t kFilterLfoSpeed = 142;
constexpr std::uint32_t kFilterLfoAmount = 143;
constexpr std::uint32_t kFilterLfoTypeAmount = 144;
constexpr std::uint32_t kFilterEnvAttack = 145;
constexpr std::uint32_t kFilterEnvDecay = 146;
constexpr std::uint32_t kFilterEnvRelease = 147;
constexpr std::uint32_t kFilterEnvSustain = 152;
constexpr std::uint32_t kFilterEnvAmount = 153;

constexpr std::uint32_t kVelocityEnvAmount = 155;
constexpr std::uint32_t kVelocityFilterAmount = 156;
constexpr std::uint32_t kVelocityFilterEnvAmount = 157;
constexpr std::uint32_t kVelocityPwAmount = 158;
constexpr std::uint32_t kVelocityPwEnvAmount = 159;
constexpr std::uint32_t kCoarseTune = 160;
constexpr std::uint32_t kFineTune = 161;

constexpr std::uint32_t kModOn = 162;
constexpr std::uint32_t kModWetDry = 163;
constexpr std::uint32_t kModDelay = 164;
constexpr std::uint32_t kModSweep = 165;
constexpr std::uint32_t kModRate = 166;
constexpr std::uint32_t kModFeedback = 167;
constexpr std::uint32_t kModSpread = 168;
constexpr std::uint32_t kModVoices = 169;
constexpr std::uint32_t kModShape = 170;

constexpr std::uint32_t kFilterKbTrack = 171;

} // namespace Tarn::EngineParam
