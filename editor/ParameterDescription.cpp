#include "ParameterDescription.h"

#include <cmath>
#include <cstdio>

namespace TW
{

ParameterDescription ParameterDescription::FromInstrument(MusicDeviceBase& instrument,
                                                          ParameterID id)
{
    ParameterDescription d;
    ParameterInfo info;
    if (instrument.GetParameterInfo(Scope::Global, id, info) != kNoErr)
        return d;
    d.index = static_cast<int>(id);
    d.name = info.nameString ? info.nameString : info.name;
    d.unit = info.unit;
    d.minValue = info.minValue;
    d.maxValue = info.maxValue;
    d.defaultValue = info.defaultValue;
    d.flags = info.flags;
    if (d.unit == kUnitIndexed)
    {
        std::vector<std::string> strings;
        if (instrument.GetParameterValueStrings(Scope::Global, id, &strings) == kNoErr)
            d.valueStrings = std::move(strings);
    }
    return d;
}

std::size_t ParameterDescription::NamedValueCount() const noexcept
{
    if (unit == kUnitMIDINoteNumber || unit == kUnitMIDIController)
    {
        const float n = maxValue + 1.0f - minValue;
        return n > 0.0f && n < 1e6f ? static_cast<std::size_t>(n) : 0;
    }
    return valueStrings.size();
}

const char* ParameterDescription::UnitAbbreviation() const noexcept
{
    switch (unit)
    {
    case kUnitPercent:
    case kUnitEqualPowerCrossfade:
        return "%";
    case kUnitSeconds:
        return "Secs";
    case kUnitSampleFrames:
        return "Samps";
    case kUnitPhase:
    case kUnitDegrees:
        return "Degr.";
    case kUnitHertz:
        return "Hz";
    case kUnitCents:
    case kUnitAbsoluteCents:
        return "Cents";
    case kUnitRelativeSemiTones:
        return "S-T";
    case kUnitMIDINoteNumber:
    case kUnitMIDIController:
        return "MIDI";
    case kUnitDecibels:
        return "dB";
    case kUnitLinearGain:
    case kUnitMixerFaderCurve1:
        return "Gain";
    case kUnitPan:
        return "L/R";
    case kUnitMeters:
        return "Mtrs";
    case kUnitOctaves:
        return "8ve";
    case kUnitBPM:
        return "BPM";
    case kUnitBeats:
        return "Beats";
    case kUnitMilliseconds:
        return "msecs";
    case kUnitRatio:
        return "Ratio";
    case kUnitBoolean:
        return "T/F";
    case kUnitCustomUnit:
        return unitName.c_str();
    default:
        return "";
    }
}

float AUParameterValueFromLinear(float n, const ParameterDescription& p) noexcept
{
    switch (p.unit)
    {
    case kUnitIndexed:
    case kUnitBeats:
        return std::floor((p.maxValue - p.minValue) * n + p.minValue + 0.5f);
    case kUnitHertz:
        if (p.minValue > 0.0f && p.maxValue > 0.0f)
            return p.minValue * std::exp2(n * std::log2(p.maxValue / p.minValue));
        break;
    default:
        break;
    }
    return p.minValue + n * (p.maxValue - p.minValue);
}

float AUParameterValueToLinear(float v, const ParameterDescription& p) noexcept
{
    if (p.unit == kUnitHertz && p.minValue > 0.0f && p.maxValue > p.minValue && v > 0.0f)
        return std::log2(v / p.minValue) / std::log2(p.maxValue / p.minValue);
    if (p.maxValue != p.minValue)
        return (v - p.minValue) / (p.maxValue - p.minValue);
    return p.minValue;
}

void AUParameterFormatValue(double v, int digits, char* out, std::size_t size) noexcept
{
    if (!std::isfinite(v))
    {
        std::snprintf(out, size, "%s", std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf"));
        return;
    }
    const double a = std::fabs(v);
    int intDigits = 1;
    if (a >= 1.0)
        intDigits = static_cast<int>(std::floor(std::log10(a))) + 1;
    int precision = digits - intDigits;
    if (precision < 0)
        precision = 0;
    std::snprintf(out, size, "%.*f", precision, v);
}

} // namespace TW
