#include "InstanceOptions.h"

#include "core/FactoryPresets.h"
#include "core/ParameterTable.h"
#include "core/PlistFile.h"
#include "core/TarnAdditiveSynth.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace Tarn;

namespace
{

bool ParseId(const std::string& text, std::uint32_t& id)
{
    if (text.empty() || text.size() > 4)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    id = static_cast<std::uint32_t>(std::stoul(text));
    return true;
}

} // namespace

bool ParseSetting(const std::string& text, std::uint32_t& id, float& value, std::string& error)
{
    const auto eq = text.rfind('=');
    if (eq == std::string::npos)
    {
        error = "--set needs ID=VALUE or NAME=VALUE, got \"" + text + "\"";
        return false;
    }
    const std::string key = text.substr(0, eq);
    const std::string number = text.substr(eq + 1);
    if (!ParseId(key, id))
    {
        const int found = FindParamByName(key.c_str());
        if (found < 0)
        {
            error = "unknown parameter \"" + key + "\"";
            return false;
        }
        id = static_cast<std::uint32_t>(found);
    }
    if (id >= kNumParams)
    {
        error =
            "parameter " + key + " is out of range (0 to " + std::to_string(kNumParams - 1) + ")";
        return false;
    }
    if (GetParamKind(id) != ParamKind::Live)
    {
        error = "parameter " + key + " (\"" + astParamInfos[id].name + "\") is not in use";
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(number.c_str(), &end);
    if (number.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
    {
        error = "malformed value \"" + number + "\" for parameter " + key;
        return false;
    }
    value = v;
    return true;
}

bool ParseInstanceOption(int argc, char** argv, int& i, InstanceOptions& options, bool& consumed,
                         std::string& error)
{
    consumed = false;
    const std::string arg = argv[i];
    std::string* target = nullptr;
    std::string value;
    bool isSet = false;
    for (const char* name : {"--preset", "--state", "--set"})
    {
        const std::string n = name;
        if (arg == n || arg.rfind(n + "=", 0) == 0)
        {
            consumed = true;
            if (arg == n)
            {
                if (i + 1 >= argc)
                {
                    error = n + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            else
                value = arg.substr(n.size() + 1);
            if (n == "--preset")
                target = &options.preset;
            else if (n == "--state")
                target = &options.stateFile;
            else
                isSet = true;
            break;
        }
    }
    if (!consumed)
        return true;
    if (isSet)
    {
        std::uint32_t id = 0;
        float v = 0.0f;
        if (!ParseSetting(value, id, v, error))
            return false;
        options.settings.emplace_back(id, v);
        return true;
    }
    *target = value;
    return true;
}

bool ApplyInstanceOptions(TarnAdditiveSynth& synth, const InstanceOptions& options,
                          std::string& error)
{
    if (!options.preset.empty())
    {
        const int number = FindFactoryPreset(options.preset);
        if (number < 0)
        {
            error = "unknown preset \"" + options.preset +
                    "\" (give a number 0 to 31 or a name from \"velluna presets\")";
            return false;
        }
        const TW::Status status = synth.NewFactoryPresetSet(GetFactoryPresetList()[number]);
        if (status != TW::kNoErr)
        {
            error = "cannot load preset " + options.preset + ": status " + std::to_string(status);
            return false;
        }
    }
    if (!options.stateFile.empty())
    {
        TW::ClassInfoDictionary state;
        if (!ReadPlistFile(options.stateFile, state, error))
            return false;
        if (synth.RestoreState(state) != TW::kNoErr)
        {
            error = "cannot restore \"" + options.stateFile + "\": " + synth.GetStateError();
            return false;
        }
    }
    for (const auto& [id, value] : options.settings)
    {
        const TW::Status status =
            TW::AUParameterSet(nullptr, nullptr, {&synth, id, TW::Scope::Global, 0}, value, 0);
        if (status != TW::kNoErr)
        {
            error =
                "cannot set parameter " + std::to_string(id) + ": status " + std::to_string(status);
            return false;
        }
    }
    return true;
}
