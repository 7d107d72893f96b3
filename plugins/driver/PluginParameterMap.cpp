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
    using namespace Tarn;
    static const char* const kLfos[kNumParamLFOs] = {"LFO 1", "LFO 2", "LFO 3", "LFO 4"};
    if (id == kParamVolume)
        return "Output";
    if (id <= kParamLevel16)
        return "Partials";
    if (id <= kParamSustain)
        return "Amp Envelope";
    if (id <= kParamEnv1LevelR1)
        return "Envelope 1";
    if (id <= kParamEnv2LevelR1)
        return "Envelope 2";
    if (id <= kParamEnv3LevelR1)
        return "Envelope 3";
    if (id <= kParamEnvSelect16)
        return "Envelope Select";
    if (id >= kParamLFO1Speed && id <= kParamLFO4Amount)
        return kLfos[(id - kParamLFO1Speed) / kParamLFOStride];
    if (id >= kParamPulseWidth && id <= kParamPWEnvAmount)
        return "Pulse Width";
    if (id >= kParamFilterCutoff && id <= kParamFilterEnvAmount)
        return "Filter";
    if (id >= kParamVelocityEnvAmount && id <= kParamVelocityPWEnvAmount)
        return "Velocity";
    if (id == kParamPitchWheelRange || id == kParamCoarseTune || id == kParamFineTune)
        return "Tuning";
    if (id >= kParamModulationOnOff && id <= kParamModulationShape)
        return "Modulation";
    if (id == kParamFilterKBTrack)
        return "Filter";
    if (id >= kParamLFO1KBTrack && id <= kParamLFO4Multiplier)
        return kLfos[(id - kParamLFO1KBTrack) / kParamLFOKBStride];
    if (id == kParamOSCPortOffset)
        return "OSC";
    return "";
}

} // namespace TW
