// The instrument's parameter table: one row per identifier 0..180.
#include "ParameterTable.h"

#include <cstring>

namespace Tarn
{

using namespace TW;

const ParamInfo astParamInfos[kNumParams] = {
    {"Volume", kUnitMixerFaderCurve1, 0.0f, 1.0f, 1.0f}, // 0
    {"Level 1", kUnitLinearGain, -1.0f, 1.0f, 1.0f}, // 1
    {"Level 2", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 2
    {"Level 3", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 3
    {"Level 4", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 4
    {"Level 5", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 5
    {"Level 6", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 6
    {"Level 7", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 7
    {"Level 8", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 8
    {"Level 9", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 9
    {"Level 10", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 10
    {"Level 11", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 11
    {"Level 12", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 12
    {"Level 13", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 13
    {"Level 14", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 14
    {"Level 15", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 15
    {"Level 16", kUnitLinearGain, -1.0f, 1.0f, 0.0f}, // 16
    {"u0", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 17
    {"u1", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 18
    {"u2", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 19
    {"u3", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 20
    {"u4", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 21
    {"u5", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 22
    {"u6", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 23
    {"u7", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 24
    {"u8", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 25
    {"u9", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 26
    {"ua", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 27
    {"ub", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 28
    {"uc", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 29
    {"ud", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 30
    {"ue", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 31
    {"uf", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 32
    {"Attack", kUnitSeconds, 0.0f, 5.0f, 0.5f}, // 33
    {"Decay", kUnitSeconds, 0.0f, 5.0f, 0.5f}, // 34
    {"Release", kUnitSeconds, 0.0f, 5.0f, 0.5f}, // 35
    {"Attack Shape", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 36
    {"Decay Shape", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 37
    {"Release Shape", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 38
    {"Unused0", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 39
    {"Sustain", kUnitLinearGain, 0.0f, 1.0f, 0.7f}, // 40
    {"Env 1 Time A1", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 41
    {"Env 1 Time A2", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 42
    {"Env 1 Time A3", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 43
    {"Env 1 Time R1", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 44
    {"Env 1 Time R2", kUnitSeconds, 0.0f, 5.0f, 5.0f}, // 45
    {"Env 1 Shape A1", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 46
    {"Env 1 Shape A2", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 47
    {"Env 1 Shape A3", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 48
    {"Env 1 Shape R1", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 49
    {"Env 1 Shape R2", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 50
    {"Env 1 Level A1", kUnitLinearGain, 0.0f, 1.0f, 0.0f}, // 51
    {"Env 1 Level A2", kUnitLinearGain, 0.0f, 1.0f, 1.0f}, // 52
    {"Env 1 Sustain", kUnitLinearGain, 0.0f, 1.0f, 1.0f}, // 53
    {"Env 1 Level R1", kUnitLinearGain, 0.0f, 1.0f, 1.0f}, // 54
    {"Env 2 Time A1", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 55
    {"Env 2 Time A2", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 56
    {"Env 2 Time A3", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 57
    {"Env 2 Time R1", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 58
    {"Env 2 Time R2", kUnitSeconds, 0.0f, 5.0f, 5.0f}, // 59
    {"Env 2 Shape A1", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 60
    {"Env 2 Shape A2", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 61
    {"Env 2 Shape A3", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 62
    {"Env 2 Shape R1", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 63
    {"Env 2 Shape R2", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 64
    {"Env 2 Level A1", kUnitLinearGain, 0.0f, 1.0f, 0.0f}, // 65
    {"Env 2 Level A2", kUnitLinearGain, 0.0f, 1.0f, 1.0f}, // 66
    {"Env 2 Sustain", kUnitLinearGain, 0.0f, 1.0f, 1.0f}, // 67
    {"Env 2 Level R1", kUnitLinearGain, 0.0f, 1.0f, 1.0f}, // 68
    {"Env 3 Time A1", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 69
    {"Env 3 Time A2", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 70
    {"Env 3 Time A3", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 71
    {"Env 3 Time R1", kUnitSeconds, 0.0f, 5.0f, 0.0f}, // 72
    {"Env 3 Time R2", kUnitSeconds, 0.0f, 5.0f, 5.0f}, // 73
    {"Env 3 Shape A1", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 74
    {"Env 3 Shape A2", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 75
    {"Env 3 Shape A3", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 76
    {"Env 3 Shape R1", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 77
    {"Env 3 Shape R2", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 78
    {"Env 3 Level A1", kUnitLinearGain, 0.0f, 1.0f, 0.0f}, // 79
    {"Env 3 Level A2", kUnitLinearGain, 0.0f, 1.0f, 1.0f}, // 80
    {"Env 3 Sustain", kUnitLinearGain, 0.0f, 1.0f, 1.0f}, // 81
    {"Env 3 Level R1", kUnitLinearGain, 0.0f, 1.0f, 1.0f}, // 82
    {"Env Select 1", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 83
    {"Env Select 2", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 84
    {"Env Select 3", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 85
    {"Env Select 4", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 86
    {"Env Select 5", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 87
    {"Env Select 6", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 88
    {"Env Select 7", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 89
    {"Env Select 8", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 90
    {"Env Select 9", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 91
    {"Env Select 10", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 92
    {"Env Select 11", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 93
    {"Env Select 12", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 94
    {"Env Select 13", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 95
    {"Env Select 14", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 96
    {"Env Select 15", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 97
    {"Env Select 16", kUnitIndexed, 0.0f, 3.0f, 0.0f}, // 98
    {"u10", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 99
    {"u11", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 100
    {"u12", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 101
    {"u13", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 102
    {"u14", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 103
    {"u15", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 104
    {"u16", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 105
    {"u17", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 106
    {"u18", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 107
    {"u19", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 108
    {"u1a", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 109
    {"u1b", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 110
    {"u1c", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 111
    {"u1d", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 112
    {"u1e", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 113
    {"u1f", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 114
    {"LFO 1 Speed", kUnitHertz, 0.05f, 100.0f, 1.0f}, // 115
    {"LFO 1 Offset", kUnitGeneric, 0.0f, 1.0f, 1.0f}, // 116
    {"LFO 1 Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 117
    {"LFO 2 Speed", kUnitHertz, 0.05f, 100.0f, 1.0f}, // 118
    {"LFO 2 Offset", kUnitGeneric, 0.0f, 1.0f, 1.0f}, // 119
    {"LFO 2 Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 120
    {"LFO 3 Speed", kUnitHertz, 0.05f, 100.0f, 1.0f}, // 121
    {"LFO 3 Offset", kUnitGeneric, 0.0f, 1.0f, 1.0f}, // 122
    {"LFO 3 Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 123
    {"LFO 4 Speed", kUnitHertz, 0.05f, 100.0f, 1.0f}, // 124
    {"LFO 4 Offset", kUnitGeneric, 0.0f, 1.0f, 1.0f}, // 125
    {"LFO 4 Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 126
    {"Pulse Width", kUnitGeneric, 0.0f, 1.0f, 0.5f}, // 127
    {"PW LFO Speed", kUnitHertz, 0.05f, 20.0f, 1.0f}, // 128
    {"PW LFO Amount", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 129
    {"PW Env Attack", kUnitSeconds, 0.0f, 5.0f, 1.0f}, // 130
    {"PW Env Decay", kUnitSeconds, 0.0f, 5.0f, 1.0f}, // 131
    {"PW Env Release", kUnitSeconds, 0.0f, 5.0f, 1.0f}, // 132
    {"Unused1", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 133
    {"Unused2", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 134
    {"Unused3", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 135
    {"Unused4", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 136
    {"PW Env Sustain", kUnitLinearGain, 0.0f, 1.0f, 0.7f}, // 137
    {"PW Env Amount", kUnitGeneric, -1.0f, 1.0f, 0.0f}, // 138
    {"Filter Cutoff", kUnitHertz, 50.0f, 12000.0f, 1000.0f}, // 139
    {"Filter Q", kUnitGeneric, 0.01f, 1.0f, 0.1f}, // 140
    {"Filter Type", kUnitGeneric, 0.0f, 4.0f, 0.0f}, // 141
    {"Filter LFO Speed", kUnitHertz, 0.05f, 20.0f, 0.2f}, // 142
    {"Filter LFO Amount", kUnitGeneric, 0.0f, 3.0f, 0.0f}, // 143
    {"Filter LFO Type Amount", kUnitGeneric, 0.0f, 4.0f, 0.0f}, // 144
    {"Filter Env Attack", kUnitSeconds, 0.0f, 5.0f, 1.0f}, // 145
    {"Filter Env Decay", kUnitSeconds, 0.0f, 5.0f, 1.0f}, // 146
    {"Filter Env Release", kUnitSeconds, 0.0f, 5.0f, 1.0f}, // 147
    {"Unused5", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 148
    {"Unused6", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 149
    {"Unused7", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 150
    {"Unused8", kUnitGeneric, 0.0f, 0.0f, 0.0f}, // 151
    {"Filter Env Sustain", kUnitLinearGain, 0.0f, 1.0f, 0.7f}, // 152
    {"Filter Env Amount", kUnitGeneric, -4.0f, 4.0f, 0.0f}, // 153
    {"Pitch Wheel Range", kUnitRelativeSemiTones, 0.0f, 12.0f, 2.0f}, // 154
    {"Velocity Env Amount", kUnitGeneric, -1.0f, 1.0f, 1.0f}, // 155
    {"Velocity Filter Amount", kUnitGeneric, -8.0f, 8.0f, 0.0f}, // 156
    {"Velocity Filter Env Amount", kUnitGeneric, -1.0f, 1.0f, 0.0f}, // 157
    {"Velocity PW Amount", kUnitGeneric, -1.0f, 1.0f, 0.0f}, // 158
    {"Velocity PW Env Amount", kUnitGeneric, -1.0f, 1.0f, 0.0f}, // 159
    {"Coarse Tune", kUnitRelativeSemiTones, -24.0f, 24.0f, 0.0f}, // 160
    {"Fine Tune", kUnitCents, -100.0f, 100.0f, 0.0f}, // 161
    {"Modulation On/Off", kUnitBoolean, 0.0f, 1.0f, 0.0f}, // 162
    {"Modulation Wet/Dry", kUnitPercent, 0.0f, 100.0f, 50.0f}, // 163
    {"Modulation Delay", kUnitMilliseconds, 0.0f, 500.0f, 10.0f}, // 164
    {"Modulation Sweep", kUnitMilliseconds, 0.0f, 50.0f, 1.0f}, // 165
    {"Modulation Rate", kUnitHertz, 0.05f, 20.0f, 0.2f}, // 166
    {"Modulation Feedback", kUnitPercent, -100.0f, 100.0f, 0.0f}, // 167
    {"Modulation Spread", kUnitGeneric, 0.0f, 1.0f, 0.5f}, // 168
    {"Modulation Voices", kUnitIndexed, 1.0f, 4.0f, 2.0f}, // 169
    {"Modulation Shape", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 170
    {"Filter KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 171
    {"LFO 1 KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 172
    {"LFO 1 Multiplier", kUnitIndexed, 0.0f, 2.0f, 0.0f}, // 173
    {"LFO 2 KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 174
    {"LFO 2 Multiplier", kUnitIndexed, 0.0f, 2.0f, 0.0f}, // 175
    {"LFO 3 KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 176
    {"LFO 3 Multiplier", kUnitIndexed, 0.0f, 2.0f, 0.0f}, // 177
    {"LFO 4 KB Track", kUnitGeneric, 0.0f, 1.0f, 0.0f}, // 178
    {"LFO 4 Multiplier", kUnitIndexed, 0.0f, 2.0f, 0.0f}, // 179
    {"OSC Port Offset", kUnitIndexed, 0.0f, 100.0f, 0.0f}, // 180
};

ParamKind GetParamKind(std::uint32_t id) noexcept
{
    if (id >= kNumParams || id == 39 || (id >= 133 && id <= 136) || (id >= 148 && id <= 151))
        return ParamKind::Invalid;
    if ((id >= 17 && id <= 32) || (id >= 99 && id <= 114))
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
    case 45:
    case 59:
    case 73:
    case 132:
    case 141:
    case 147:
    case 180:
        return true;
    default:
        return false;
    }
}

} // namespace Tarn
