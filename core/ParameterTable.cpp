// The instrument's parameter table: one row per identifier 0..180.
#include "ParameterTable.h"

#include <cstring>
#include <iterator>
#include <utility>

namespace Tarn
{

using namespace TW;

namespace
{

struct Row
{
    std::uint32_t id;
    const char* symbol; // the identifier's name, spelled as in the code
    ParamInfo info;
};

#define ROW(id, name, unit, minValue, maxValue, defaultValue)                                      \
    Row                                                                                            \
    {                                                                                              \
        id, #id,                                                                                   \
        {                                                                                          \
            name, unit, minValue, maxValue, defaultValue                                           \
        }                                                                                          \
    }

constexpr Row kRows[] = {
    ROW(kParamVolume, "Volume", kUnitMixerFaderCurve1, 0.0f, 1.0f, 1.0f),
    ROW(kParamLevel1, "Level 1", kUnitLinearGain, -1.0f, 1.0f, 1.0f),
    ROW(kParamLevel2, "Level 2", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel3, "Level 3", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel4, "Level 4", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel5, "Level 5", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel6, "Level 6", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel7, "Level 7", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel8, "Level 8", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel9, "Level 9", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel10, "Level 10", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel11, "Level 11", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel12, "Level 12", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel13, "Level 13", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel14, "Level 14", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel15, "Level 15", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamLevel16, "Level 16", kUnitLinearGain, -1.0f, 1.0f, 0.0f),
    ROW(kParamU0, "u0", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU1, "u1", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU2, "u2", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU3, "u3", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU4, "u4", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU5, "u5", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU6, "u6", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU7, "u7", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU8, "u8", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU9, "u9", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUa, "ua", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUb, "ub", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUc, "uc", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUd, "ud", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUe, "ue", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUf, "uf", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamAttack, "Attack", kUnitSeconds, 0.0f, 5.0f, 0.5f),
    ROW(kParamDecay, "Decay", kUnitSeconds, 0.0f, 5.0f, 0.5f),
    ROW(kParamRelease, "Release", kUnitSeconds, 0.0f, 5.0f, 0.5f),
    ROW(kParamAttackShape, "Attack Shape", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamDecayShape, "Decay Shape", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamReleaseShape, "Release Shape", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamUnused0, "Unused0", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamSustain, "Sustain", kUnitLinearGain, 0.0f, 1.0f, 0.7f),
    ROW(kParamEnv1TimeA1, "Env 1 Time A1", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv1TimeA2, "Env 1 Time A2", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv1TimeA3, "Env 1 Time A3", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv1TimeR1, "Env 1 Time R1", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv1TimeR2, "Env 1 Time R2", kUnitSeconds, 0.0f, 5.0f, 5.0f),
    ROW(kParamEnv1ShapeA1, "Env 1 Shape A1", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv1ShapeA2, "Env 1 Shape A2", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv1ShapeA3, "Env 1 Shape A3", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv1ShapeR1, "Env 1 Shape R1", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv1ShapeR2, "Env 1 Shape R2", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv1LevelA1, "Env 1 Level A1", kUnitLinearGain, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv1LevelA2, "Env 1 Level A2", kUnitLinearGain, 0.0f, 1.0f, 1.0f),
    ROW(kParamEnv1Sustain, "Env 1 Sustain", kUnitLinearGain, 0.0f, 1.0f, 1.0f),
    ROW(kParamEnv1LevelR1, "Env 1 Level R1", kUnitLinearGain, 0.0f, 1.0f, 1.0f),
    ROW(kParamEnv2TimeA1, "Env 2 Time A1", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv2TimeA2, "Env 2 Time A2", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv2TimeA3, "Env 2 Time A3", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv2TimeR1, "Env 2 Time R1", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv2TimeR2, "Env 2 Time R2", kUnitSeconds, 0.0f, 5.0f, 5.0f),
    ROW(kParamEnv2ShapeA1, "Env 2 Shape A1", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv2ShapeA2, "Env 2 Shape A2", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv2ShapeA3, "Env 2 Shape A3", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv2ShapeR1, "Env 2 Shape R1", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv2ShapeR2, "Env 2 Shape R2", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv2LevelA1, "Env 2 Level A1", kUnitLinearGain, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv2LevelA2, "Env 2 Level A2", kUnitLinearGain, 0.0f, 1.0f, 1.0f),
    ROW(kParamEnv2Sustain, "Env 2 Sustain", kUnitLinearGain, 0.0f, 1.0f, 1.0f),
    ROW(kParamEnv2LevelR1, "Env 2 Level R1", kUnitLinearGain, 0.0f, 1.0f, 1.0f),
    ROW(kParamEnv3TimeA1, "Env 3 Time A1", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv3TimeA2, "Env 3 Time A2", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv3TimeA3, "Env 3 Time A3", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv3TimeR1, "Env 3 Time R1", kUnitSeconds, 0.0f, 5.0f, 0.0f),
    ROW(kParamEnv3TimeR2, "Env 3 Time R2", kUnitSeconds, 0.0f, 5.0f, 5.0f),
    ROW(kParamEnv3ShapeA1, "Env 3 Shape A1", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv3ShapeA2, "Env 3 Shape A2", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv3ShapeA3, "Env 3 Shape A3", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv3ShapeR1, "Env 3 Shape R1", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv3ShapeR2, "Env 3 Shape R2", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv3LevelA1, "Env 3 Level A1", kUnitLinearGain, 0.0f, 1.0f, 0.0f),
    ROW(kParamEnv3LevelA2, "Env 3 Level A2", kUnitLinearGain, 0.0f, 1.0f, 1.0f),
    ROW(kParamEnv3Sustain, "Env 3 Sustain", kUnitLinearGain, 0.0f, 1.0f, 1.0f),
    ROW(kParamEnv3LevelR1, "Env 3 Level R1", kUnitLinearGain, 0.0f, 1.0f, 1.0f),
    ROW(kParamEnvSelect1, "Env Select 1", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect2, "Env Select 2", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect3, "Env Select 3", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect4, "Env Select 4", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect5, "Env Select 5", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect6, "Env Select 6", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect7, "Env Select 7", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect8, "Env Select 8", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect9, "Env Select 9", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect10, "Env Select 10", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect11, "Env Select 11", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect12, "Env Select 12", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect13, "Env Select 13", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect14, "Env Select 14", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect15, "Env Select 15", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamEnvSelect16, "Env Select 16", kUnitIndexed, 0.0f, 3.0f, 0.0f),
    ROW(kParamU10, "u10", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU11, "u11", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU12, "u12", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU13, "u13", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU14, "u14", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU15, "u15", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU16, "u16", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU17, "u17", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU18, "u18", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU19, "u19", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU1a, "u1a", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU1b, "u1b", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU1c, "u1c", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU1d, "u1d", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU1e, "u1e", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamU1f, "u1f", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamLFO1Speed, "LFO 1 Speed", kUnitHertz, 0.05f, 100.0f, 1.0f),
    ROW(kParamLFO1Offset, "LFO 1 Offset", kUnitGeneric, 0.0f, 1.0f, 1.0f),
    ROW(kParamLFO1Amount, "LFO 1 Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamLFO2Speed, "LFO 2 Speed", kUnitHertz, 0.05f, 100.0f, 1.0f),
    ROW(kParamLFO2Offset, "LFO 2 Offset", kUnitGeneric, 0.0f, 1.0f, 1.0f),
    ROW(kParamLFO2Amount, "LFO 2 Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamLFO3Speed, "LFO 3 Speed", kUnitHertz, 0.05f, 100.0f, 1.0f),
    ROW(kParamLFO3Offset, "LFO 3 Offset", kUnitGeneric, 0.0f, 1.0f, 1.0f),
    ROW(kParamLFO3Amount, "LFO 3 Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamLFO4Speed, "LFO 4 Speed", kUnitHertz, 0.05f, 100.0f, 1.0f),
    ROW(kParamLFO4Offset, "LFO 4 Offset", kUnitGeneric, 0.0f, 1.0f, 1.0f),
    ROW(kParamLFO4Amount, "LFO 4 Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamPulseWidth, "Pulse Width", kUnitGeneric, 0.0f, 1.0f, 0.5f),
    ROW(kParamPWLFOSpeed, "PW LFO Speed", kUnitHertz, 0.05f, 20.0f, 1.0f),
    ROW(kParamPWLFOAmount, "PW LFO Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamPWEnvAttack, "PW Env Attack", kUnitSeconds, 0.0f, 5.0f, 1.0f),
    ROW(kParamPWEnvDecay, "PW Env Decay", kUnitSeconds, 0.0f, 5.0f, 1.0f),
    ROW(kParamPWEnvRelease, "PW Env Release", kUnitSeconds, 0.0f, 5.0f, 1.0f),
    ROW(kParamUnused1, "Unused1", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUnused2, "Unused2", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUnused3, "Unused3", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUnused4, "Unused4", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamPWEnvSustain, "PW Env Sustain", kUnitLinearGain, 0.0f, 1.0f, 0.7f),
    ROW(kParamPWEnvAmount, "PW Env Amount", kUnitGeneric, -1.0f, 1.0f, 0.0f),
    ROW(kParamFilterCutoff, "Filter Cutoff", kUnitHertz, 50.0f, 12000.0f, 1000.0f),
    ROW(kParamFilterQ, "Filter Q", kUnitGeneric, 0.01f, 1.0f, 0.1f),
    ROW(kParamFilterType, "Filter Type", kUnitGeneric, 0.0f, 4.0f, 0.0f),
    ROW(kParamFilterLFOSpeed, "Filter LFO Speed", kUnitHertz, 0.05f, 20.0f, 0.2f),
    ROW(kParamFilterLFOAmount, "Filter LFO Amount", kUnitGeneric, 0.0f, 3.0f, 0.0f),
    ROW(kParamFilterLFOTypeAmount, "Filter LFO Type Amount", kUnitGeneric, 0.0f, 4.0f, 0.0f),
    ROW(kParamFilterEnvAttack, "Filter Env Attack", kUnitSeconds, 0.0f, 5.0f, 1.0f),
    ROW(kParamFilterEnvDecay, "Filter Env Decay", kUnitSeconds, 0.0f, 5.0f, 1.0f),
    ROW(kParamFilterEnvRelease, "Filter Env Release", kUnitSeconds, 0.0f, 5.0f, 1.0f),
    ROW(kParamUnused5, "Unused5", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUnused6, "Unused6", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUnused7, "Unused7", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamUnused8, "Unused8", kUnitGeneric, 0.0f, 0.0f, 0.0f),
    ROW(kParamFilterEnvSustain, "Filter Env Sustain", kUnitLinearGain, 0.0f, 1.0f, 0.7f),
    ROW(kParamFilterEnvAmount, "Filter Env Amount", kUnitGeneric, -4.0f, 4.0f, 0.0f),
    ROW(kParamPitchWheelRange, "Pitch Wheel Range", kUnitRelativeSemiTones, 0.0f, 12.0f, 2.0f),
    ROW(kParamVelocityEnvAmount, "Velocity Env Amount", kUnitGeneric, -1.0f, 1.0f, 1.0f),
    ROW(kParamVelocityFilterAmount, "Velocity Filter Amount", kUnitGeneric, -8.0f, 8.0f, 0.0f),
    ROW(kParamVelocityFilterEnvAmount, "Velocity Filter Env Amount", kUnitGeneric, -1.0f, 1.0f,
        0.0f),
    ROW(kParamVelocityPWAmount, "Velocity PW Amount", kUnitGeneric, -1.0f, 1.0f, 0.0f),
    ROW(kParamVelocityPWEnvAmount, "Velocity PW Env Amount", kUnitGeneric, -1.0f, 1.0f, 0.0f),
    ROW(kParamCoarseTune, "Coarse Tune", kUnitRelativeSemiTones, -24.0f, 24.0f, 0.0f),
    ROW(kParamFineTune, "Fine Tune", kUnitCents, -100.0f, 100.0f, 0.0f),
    ROW(kParamModulationOnOff, "Modulation On/Off", kUnitBoolean, 0.0f, 1.0f, 0.0f),
    ROW(kParamModulationWetDry, "Modulation Wet/Dry", kUnitPercent, 0.0f, 100.0f, 50.0f),
    ROW(kParamModulationDelay, "Modulation Delay", kUnitMilliseconds, 0.0f, 500.0f, 10.0f),
    ROW(kParamModulationSweep, "Modulation Sweep", kUnitMilliseconds, 0.0f, 50.0f, 1.0f),
    ROW(kParamModulationRate, "Modulation Rate", kUnitHertz, 0.05f, 20.0f, 0.2f),
    ROW(kParamModulationFeedback, "Modulation Feedback", kUnitPercent, -100.0f, 100.0f, 0.0f),
    ROW(kParamModulationSpread, "Modulation Spread", kUnitGeneric, 0.0f, 1.0f, 0.5f),
    ROW(kParamModulationVoices, "Modulation Voices", kUnitIndexed, 1.0f, 4.0f, 2.0f),
    ROW(kParamModulationShape, "Modulation Shape", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamFilterKBTrack, "Filter KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamLFO1KBTrack, "LFO 1 KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamLFO1Multiplier, "LFO 1 Multiplier", kUnitIndexed, 0.0f, 2.0f, 0.0f),
    ROW(kParamLFO2KBTrack, "LFO 2 KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamLFO2Multiplier, "LFO 2 Multiplier", kUnitIndexed, 0.0f, 2.0f, 0.0f),
    ROW(kParamLFO3KBTrack, "LFO 3 KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamLFO3Multiplier, "LFO 3 Multiplier", kUnitIndexed, 0.0f, 2.0f, 0.0f),
    ROW(kParamLFO4KBTrack, "LFO 4 KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f),
    ROW(kParamLFO4Multiplier, "LFO 4 Multiplier", kUnitIndexed, 0.0f, 2.0f, 0.0f),
    ROW(kParamOSCPortOffset, "OSC Port Offset", kUnitIndexed, 0.0f, 100.0f, 0.0f),
};

#undef ROW

constexpr char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool IsWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// "kParamFilterLFOTypeAmount" names "Filter LFO Type Amount": the display name's letters and
// digits, in order, after the prefix, ignoring case, spaces and punctuation.
constexpr bool SymbolNamesRow(const char* symbol, const char* name)
{
    constexpr const char* kPrefix = "kParam";
    for (const char* p = kPrefix; *p; ++p, ++symbol)
        if (*symbol != *p)
            return false;
    for (;; ++name)
    {
        if (*name && !IsWordChar(*name))
            continue;
        if (Lower(*symbol) != Lower(*name))
            return false;
        if (!*name)
            return true;
        ++symbol;
    }
}

constexpr bool RowsInOrderAndNamed()
{
    if (std::size(kRows) != kNumParams)
        return false;
    for (std::uint32_t i = 0; i < kNumParams; ++i)
        if (kRows[i].id != i || !SymbolNamesRow(kRows[i].symbol, kRows[i].info.name))
            return false;
    return true;
}
static_assert(RowsInOrderAndNamed(), "each identifier name on its own row, rows in order");

// The number in a display name, its first run of digits, and whether the rest matches another
// name's rest: "Env 2 Time A1" is "Env 1 Time A1" with 2 for 1.
constexpr bool SameButNumber(const char* a, const char* b, int na, int nb)
{
    auto number = [](const char*& s)
    {
        int n = 0;
        while (*s >= '0' && *s <= '9')
            n = n * 10 + (*s++ - '0');
        return n;
    };
    bool seen = false;
    while (*a || *b)
    {
        if (!seen && *a >= '0' && *a <= '9' && *b >= '0' && *b <= '9')
        {
            if (number(a) != na || number(b) != nb)
                return false;
            seen = true;
            continue;
        }
        if (*a++ != *b++)
            return false;
    }
    return seen;
}

// Group g of count rows starting at first + g * stride repeats group 0 with its number.
constexpr bool GroupRepeats(std::uint32_t first, std::uint32_t width, std::uint32_t stride,
                            std::uint32_t groups)
{
    for (std::uint32_t g = 1; g < groups; ++g)
        for (std::uint32_t r = 0; r < width; ++r)
            if (!SameButNumber(kRows[first + r].info.name, kRows[first + g * stride + r].info.name,
                               1, int(g) + 1))
                return false;
    return true;
}
static_assert(GroupRepeats(kParamLevel1, 1, 1, kNumParamPartials), "partial levels");
static_assert(GroupRepeats(kParamEnvSelect1, 1, 1, kNumParamPartials), "envelope selectors");
static_assert(GroupRepeats(kParamEnv1TimeA1, kParamEnvStride, kParamEnvStride, kNumParamEnvelopes),
              "partial envelopes");
static_assert(GroupRepeats(kParamLFO1Speed, kParamLFOStride, kParamLFOStride, kNumParamLFOs),
              "LFOs");
static_assert(GroupRepeats(kParamLFO1KBTrack, kParamLFOKBStride, kParamLFOKBStride, kNumParamLFOs),
              "LFO key tracking and multipliers");

template <std::size_t... I>
constexpr std::array<ParamInfo, sizeof...(I)> Infos(std::index_sequence<I...>)
{
    return {kRows[I].info...};
}

} // namespace

constexpr std::array<ParamInfo, kNumParams> astParamInfos =
    Infos(std::make_index_sequence<kNumParams>());

ParamKind GetParamKind(std::uint32_t id) noexcept
{
    if (id >= kNumParams || id == kParamUnused0 || (id >= kParamUnused1 && id <= kParamUnused4) ||
        (id >= kParamUnused5 && id <= kParamUnused8))
        return ParamKind::Invalid;
    if ((id >= kParamU0 && id <= kParamUf) || (id >= kParamU10 && id <= kParamU1f))
        return ParamKind::Reserved;
    return ParamKind::Live;
}

int FindParamByName(const char* name) noexcept
{
    if (!name)
        return -1;
    for (std::uint32_t id = 0; id < kNumParams; ++id)
        if (std::strcmp(astParamInfos[id].name, name) == 0)
            return static_cast<int>(id);
    return -1;
}

bool ParamHasValueStrings(std::uint32_t id) noexcept
{
    switch (id)
    {
    case kParamEnv1TimeR2:
    case kParamEnv2TimeR2:
    case kParamEnv3TimeR2:
    case kParamPWEnvRelease:
    case kParamFilterType:
    case kParamFilterEnvRelease:
    case kParamOSCPortOffset:
        return true;
    default:
        return false;
    }
}

} // namespace Tarn
