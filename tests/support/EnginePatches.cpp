#include "EnginePatches.h"

#include "core/ParameterTable.h"

#include <stdexcept>
#include <string>

namespace TarnTest
{

void SetDefaults(TW::ParameterElement& params)
{
    for (std::uint32_t id = 0; id < Tarn::kNumParams; ++id)
        if (Tarn::GetParamKind(id) == Tarn::ParamKind::Live)
            params.SetValue(id, Tarn::astParamInfos[id].defaultValue, true);
}

void SetByName(TW::ParameterElement& params, const char* name, float value)
{
    const int id = Tarn::FindParamByName(name);
    if (id < 0)
        throw std::runtime_error(std::string("no parameter named ") + name);
    params.SetValue(static_cast<std::uint32_t>(id), value, true);
}

void SetHeavyPatch(TW::ParameterElement& params)
{
    for (int k = 1; k <= 16; ++k)
    {
        const std::string n = std::to_string(k);
        SetByName(params, ("Level " + n).c_str(), (k % 2 ? 1.0f : -0.8f) / static_cast<float>(k));
        SetByName(params, ("Env Select " + n).c_str(), static_cast<float>(k % 4));
    }
    for (int e = 1; e <= 3; ++e)
    {
        const std::string p = "Env " + std::to_string(e) + " ";
        const float t = 0.02f * static_cast<float>(e);
        SetByName(params, (p + "Time A1").c_str(), t);
        SetByName(params, (p + "Time A2").c_str(), 2.0f * t);
        SetByName(params, (p + "Time A3").c_str(), 3.0f * t);
        SetByName(params, (p + "Time R1").c_str(), t);
        SetByName(params, (p + "Time R2").c_str(), 4.0f * t);
        SetByName(params, (p + "Shape A1").c_str(), 0.3f);
        SetByName(params, (p + "Shape A2").c_str(), 0.6f);
        SetByName(params, (p + "Shape A3").c_str(), 0.1f);
        SetByName(params, (p + "Shape R1").c_str(), 0.8f);
        SetByName(params, (p + "Level A1").c_str(), 1.0f);
        SetByName(params, (p + "Level A2").c_str(), 0.5f);
        SetByName(params, (p + "Sustain").c_str(), 0.7f);
        SetByName(params, (p + "Level R1").c_str(), 0.4f);
    }
    for (int l = 1; l <= 4; ++l)
    {
        const std::string p = "LFO " + std::to_string(l) + " ";
        SetByName(params, (p + "Speed").c_str(), 1.5f * static_cast<float>(l));
        SetByName(params, (p + "Offset").c_str(), 0.6f);
        SetByName(params, (p + "Amount").c_str(), 0.4f);
        SetByName(params, (p + "KB Track").c_str(), 0.5f);
        SetByName(params, (p + "Multiplier").c_str(), l == 4 ? 1.0f : 0.0f);
    }
    SetByName(params, "Pulse Width", 0.35f);
    SetByName(params, "PW LFO Speed", 3.0f);
    SetByName(params, "PW LFO Amount", 0.2f);
    SetByName(params, "PW Env Attack", 0.05f);
    SetByName(params, "PW Env Decay", 0.2f);
    SetByName(params, "PW Env Amount", 0.3f);
    SetByName(params, "Filter Type", 2.0f);
    SetByName(params, "Filter Cutoff", 1500.0f);
    SetByName(params, "Filter Q", 0.6f);
    SetByName(params, "Filter Env Amount", 2.0f);
    SetByName(params, "Filter Env Attack", 0.03f);
    SetByName(params, "Filter Env Decay", 0.3f);
    SetByName(params, "Filter LFO Speed", 2.0f);
    SetByName(params, "Filter LFO Amount", 1.0f);
    SetByName(params, "Filter KB Track", 0.5f);
    SetByName(params, "Attack", 0.01f);
    SetByName(params, "Decay", 0.2f);
    SetByName(params, "Release", 0.3f);
    SetByName(params, "Modulation On/Off", 1.0f);
    SetByName(params, "Modulation Voices", 4.0f);
    SetByName(params, "Modulation Feedback", 40.0f);
    SetByName(params, "Modulation Sweep", 5.0f);
    SetByName(params, "Modulation Rate", 0.7f);
}

} // namespace TarnTest
