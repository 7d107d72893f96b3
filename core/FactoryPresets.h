// The 32 factory presets: each a full record of the 181 parameter values, in identifier order.
#pragma once

#include "InstrumentConstants.h"

#include "platform/MusicDeviceBase.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace Tarn
{

struct FactoryPresetRecord
{
    const char* name;                     // constant for the life of the process
    std::array<float, kNumParams> values; // index = parameter identifier
};

using FactoryPresetTable = std::array<FactoryPresetRecord, kNumFactoryPresets>;

// The preset table `esPresets`, built on first use from the parameter table's defaults and each
// preset's differences from them. Any thread.
const FactoryPresetTable& GetFactoryPresetTable();

// The host's preset list: number i named as record i. Filled once per process. Any thread.
const std::vector<TW::Preset>& GetFactoryPresetList();

// The preset number for "N" (decimal) or an exact preset name, or -1. Any thread.
int FindFactoryPreset(const std::string& numberOrName);

// One difference from the defaults: a parameter named exactly as in the parameter table, or,
// with name null, a raw identifier (for the leftovers in unused slots).
struct PresetSetting
{
    const char* name;
    float value;
    std::uint32_t id = 0;
};

struct PresetDesign
{
    const char* name;
    std::vector<PresetSetting> settings;
};

// The designs in preset-number order, as differences from "Defaults". Any thread.
const std::vector<PresetDesign>& GetFactoryPresetDesigns();

} // namespace Tarn
