#include "FactoryPresets.h"

#include "ParameterTable.h"
#include "PresetDesignKit.h"

#include <cstdio>
#include <cstdlib>

namespace Tarn
{
namespace
{

FactoryPresetTable BuildTable()
{
    const std::vector<PresetDesign>& designs = GetFactoryPresetDesigns();
    if (designs.size() != kNumFactoryPresets)
    {
        std::fprintf(stderr, "factory presets: %zu designs for %d presets\n", designs.size(),
                     kNumFactoryPresets);
        std::abort();
    }
    FactoryPresetTable table{};
    for (std::size_t n = 0; n < designs.size(); ++n)
    {
        FactoryPresetRecord& record = table[n];
        record.name = designs[n].name;
        for (std::uint32_t id = 0; id < kNumParams; ++id)
            record.values[id] = astParamInfos[id].defaultValue;
        for (const PresetSetting& s : designs[n].settings)
        {
            std::uint32_t id = s.id;
            if (s.name)
            {
                const int found = FindParamByName(s.name);
                // A misspelt name is a defect of the table itself, caught by its tests.
                if (found < 0)
                {
                    std::fprintf(stderr, "factory preset \"%s\": no parameter named \"%s\"\n",
                                 record.name, s.name);
                    std::abort();
                }
                id = static_cast<std::uint32_t>(found);
            }
            if (id >= kNumParams)
                std::abort();
            record.values[id] = s.value;
        }
    }
    return table;
}

} // namespace

const std::vector<PresetDesign>& GetFactoryPresetDesigns()
{
    static const std::vector<PresetDesign> designs = []
    {
        std::vector<PresetDesign> d;
        AddFactoryPresetDesigns0To14(d);
        AddFactoryPresetDesigns15To31(d);
        return d;
    }();
    return designs;
}

const FactoryPresetTable& GetFactoryPresetTable()
{
    static const FactoryPresetTable esPresets = BuildTable();
    return esPresets;
}

const std::vector<TW::Preset>& GetFactoryPresetList()
{
    static const std::vector<TW::Preset> presets = []
    {
        std::vector<TW::Preset> list;
        const FactoryPresetTable& table = GetFactoryPresetTable();
        for (std::size_t i = 0; i < table.size(); ++i)
            list.push_back({static_cast<std::int32_t>(i), table[i].name});
        return list;
    }();
    return presets;
}

int FindFactoryPreset(const std::string& numberOrName)
{
    const FactoryPresetTable& table = GetFactoryPresetTable();
    if (!numberOrName.empty() && numberOrName.size() <= 3 &&
        numberOrName.find_first_not_of("0123456789") == std::string::npos)
    {
        const int n = std::atoi(numberOrName.c_str());
        return n < kNumFactoryPresets ? n : -1;
    }
    for (std::size_t i = 0; i < table.size(); ++i)
        if (numberOrName == table[i].name)
            return static_cast<int>(i);
    return -1;
}

} // namespace Tarn
