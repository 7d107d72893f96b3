#include "PluginParameterMap.h"

#include "core/ParameterTable.h"
#include "platform/ParameterInfo.h"

#include <array>
#include <cstring>

namespace TW
{
namespace
{

struct Positions
{
    std::array<ParameterID, Tarn::kNumLiveParams> ids{};
    std::array<int, Tarn::kNumParams> index{};
    std::uint32_t count = 0;
    std::array<const char*, Tarn::kNumLiveParams> sectionNames{};
    std::array<std::uint32_t, Tarn::kNumParams> sectionOf{};
    std::uint32_t sectionCount = 0;

    Positions()
    {
        index.fill(-1);
        for (ParameterID id = 0; id < Tarn::kNumParams; ++id)
        {
            if (Tarn::GetParamKind(id) != Tarn::ParamKind::Live || count >= ids.size())
                continue;
            index[id] = static_cast<int>(count);
            ids[count++] = id;
            const char* name = PluginParameterMap::Section(id);
            std::uint32_t s = 0;
            while (s < sectionCount && std::strcmp(sectionNames[s], name) != 0)
                ++s;
            if (s == sectionCount)
                sectionNames[sectionCount++] = name;
            sectionOf[id] = s;
        }
    }
};

const Positions& GetPositions() noexcept
{
    static const Positions positions;
    return positions;
}

} // namespace

std::uint32_t PluginParameterMap::Count() noexcept
{
    return GetPositions().count;
}

ParameterID PluginParameterMap::IdAt(std::uint32_t index) noexcept
{
    const Positions& p = GetPositions();
    return index < p.count ? p.ids[index] : 0;
}

int PluginParameterMap::IndexOf(ParameterID id) noexcept
{
    return id < Tarn::kNumParams ? GetPositions().index[id] : -1;
}

std::uint32_t PluginParameterMap::SectionCount() noexcept
{
    return GetPositions().sectionCount;
}

std::uint32_t PluginParameterMap::SectionIndex(ParameterID id) noexcept
{
    return id < Tarn::kNumParams ? GetPositions().sectionOf[id] : 0;
}

const char* PluginParameterMap::SectionName(std::uint32_t section) noexcept
{
    const Positions& p = GetPositions();
    return section < p.sectionCount ? p.sectionNames[section] : "";
}

std::string PluginParameterMap::Symbol(ParameterID id)
{
    return "p" + std::to_string(id);
}

const char* PluginParameterMap::UnitText(ParameterID id) noexcept
{
    if (id >= Tarn::kNumParams)
        return "";
    switch (Tarn::astParamInfos[id].unit)
    {
    case kUnitPercent:
        return "%";
    case kUnitSeconds:
        return "s";
    case kUnitHertz:
        return "Hz";
    case kUnitCents:
        return "ct";
    case kUnitRelativeSemiTones:
        return "st";
    case kUnitMilliseconds:
        return "ms";
    default:
        return "";
    }
}

bool PluginParameterMap::IsStepped(ParameterID id) noexcept
{
    if (id >= Tarn::kNumParams)
        return false;
    // Semitone parameters (coarse tune, wheel range) step in whole semitones in hosts.
    const std::uint32_t unit = Tarn::astParamInfos[id].unit;
    return unit == kUnitIndexed || unit == kUnitBoolean || unit == kUnitRelativeSemiTones;
}

bool PluginParameterMap::IsBoolean(ParameterID id) noexcept
{
    return id < Tarn::kNumParams && Tarn::astParamInfos[id].unit == kUnitBoolean;
}

const char* PluginParameterMap::Section(ParameterID id) noexcept
{
    if (id == 0)
        return "Output";
    if (id <= 16)
        return "Partials";
    if (id <= 40)
        return "Amp Envelope";
    if (id <= 54)
        return "Envelope 1";
    if (id <= 68)
        return "Envelope 2";
    if (id <= 82)
        return "Envelope 3";
    if (id <= 98)
        return "Envelope Select";
    if (id >= 115 && id <= 126)
    {
        static const char* const kLfos[4] = {"LFO 1", "LFO 2", "LFO 3", "LFO 4"};
        return kLfos[(id - 115) / 3];
    }
    if (id >= 127 && id <= 138)
        return "Pulse Width";
    if (id >= 139 && id <= 153)
        return "Filter";
    if (id >= 155 && id <= 159)
        return "Velocity";
    if (id == 154 || id == 160 || id == 161)
        return "Tuning";
    if (id >= 162 && id <= 170)
        return "Modulation";
    if (id == 171)
        return "Filter";
    if (id >= 172 && id <= 179)
    {
        static const char* const kLfos[4] = {"LFO 1", "LFO 2", "LFO 3", "LFO 4"};
        return kLfos[(id - 172) / 2];
    }
    if (id == 180)
        return "OSC";
    return "";
}

} // namespace TW
