// Building blocks for the factory preset designs: differences from "Defaults".
#pragma once

#include "FactoryPresets.h"
#include "ParameterTable.h"

#include <cmath>
#include <vector>

namespace Tarn
{

using Settings = std::vector<PresetSetting>;

inline Settings operator+(Settings a, const Settings& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Names come from fixed pools, so the designs' pointers stay valid for the process.
inline const char* const kLevelNames[17] = {
    "",         "Level 1",  "Level 2",  "Level 3",  "Level 4",  "Level 5",
    "Level 6",  "Level 7",  "Level 8",  "Level 9",  "Level 10", "Level 11",
    "Level 12", "Level 13", "Level 14", "Level 15", "Level 16"};
inline const char* const kSelectNames[17] = {"",
                                             "Env Select 1",
                                             "Env Select 2",
                                             "Env Select 3",
                                             "Env Select 4",
                                             "Env Select 5",
                                             "Env Select 6",
                                             "Env Select 7",
                                             "Env Select 8",
                                             "Env Select 9",
                                             "Env Select 10",
                                             "Env Select 11",
                                             "Env Select 12",
                                             "Env Select 13",
                                             "Env Select 14",
                                             "Env Select 15",
                                             "Env Select 16"};

// Partial k at a level, on a partial envelope (0 for none).
inline Settings Partial(int k, float level, int envelope = 0)
{
    return {{kLevelNames[k], level}, {kSelectNames[k], static_cast<float>(envelope)}};
}

// Partial levels scale / k^power for k = first..last in steps of step (2: odd partials only).
inline Settings Series(int first, int last, int step, float scale, float power)
{
    Settings s;
    for (int k = first; k <= last; k += step)
        s.push_back({kLevelNames[k], scale / std::pow(static_cast<float>(k), power)});
    return s;
}

// The envelope selector of partials first..last in steps of step.
inline Settings Select(int first, int last, int step, int envelope)
{
    Settings s;
    for (int k = first; k <= last; k += step)
        s.push_back({kSelectNames[k], static_cast<float>(envelope)});
    return s;
}

// Leftovers in the unused slots of some presets: identifiers that the loader skips ("Unused1",
// "Unused3", "Unused4", "Unused5", "Unused7", "Unused8") or that the initialized store ignores
// ("u10".."u1d").
inline Settings InvalidSlotLeftovers(float seed)
{
    return {{nullptr, seed, kParamUnused1},  {nullptr, seed * 0.5f, kParamUnused3},
            {nullptr, 1.0f, kParamUnused4},  {nullptr, seed * 2.0f, kParamUnused5},
            {nullptr, 0.25f, kParamUnused7}, {nullptr, seed + 1.0f, kParamUnused8}};
}

inline Settings ReservedSlotLeftovers(float seed)
{
    Settings s;
    for (std::uint32_t id = kParamU10; id <= kParamU1d; ++id)
        s.push_back({nullptr, seed + 0.125f * static_cast<float>(id - kParamU10), id});
    return s;
}

// Presets 0 to 14 and 15 to 31, appended in number order.
void AddFactoryPresetDesigns0To14(std::vector<PresetDesign>& d);
void AddFactoryPresetDesigns15To31(std::vector<PresetDesign>& d);

} // namespace Tarn
