// The factory preset table and loading presets into an instance.
#include "support/TestInstance.h"

#include "core/FactoryPresets.h"
#include "core/ParameterTable.h"
#include "osc/OSCHelper.h"

#include <gtest/gtest.h>

#include <set>

using TarnTest::TestInstance;
using namespace TW;
using namespace Tarn;

namespace
{

struct Recorder : ParameterListener
{
    std::vector<std::pair<ParameterID, float>> changes;
    void ParameterChanged(void*, const ParameterAddress& a, float v) override
    {
        changes.emplace_back(a.id, v);
    }
};

bool IsLeftoverSlot(int preset, std::uint32_t id)
{
    const bool invalidSlot =
        id == 133 || id == 135 || id == 136 || id == 148 || id == 150 || id == 151;
    return (preset >= 19 && preset <= 26 && invalidSlot) || (preset >= 29 && id >= 99 && id <= 112);
}

float Value(int preset, const char* name)
{
    const int id = FindParamByName(name);
    EXPECT_GE(id, 0) << name;
    return GetFactoryPresetTable()[preset].values[id];
}

// Every value of the preset equals the default except the listed ones, which are exact.
void ExpectExactly(int preset, const std::vector<std::pair<const char*, float>>& expected)
{
    std::set<int> listed;
    for (const auto& [name, value] : expected)
    {
        listed.insert(FindParamByName(name));
        EXPECT_EQ(Value(preset, name), value) << preset << " " << name;
    }
    for (std::uint32_t id = 0; id < kNumParams; ++id)
    {
        if (!listed.count(static_cast<int>(id)))
        {
            EXPECT_EQ(GetFactoryPresetTable()[preset].values[id], astParamInfos[id].defaultValue)
                << "preset " << preset << " identifier " << id;
        }
    }
}

} // namespace

TEST(FactoryPresets, ListHas32NamedInOrder)
{
    TestInstance synth(48000.0, false);
    EXPECT_EQ(synth->GetPresets(nullptr), kNoErr);
    std::vector<Preset> list;
    ASSERT_EQ(synth->GetPresets(&list), kNoErr);
    ASSERT_EQ(list.size(), 32u);
    const char* const names[32] = {"Defaults",        "Simple Pad",        "Wobbly Start",
                                   "Octaves",         "Double Ring",       "Squoawy",
                                   "PW Dive",         "Shimmery",          "Hollow Release",
                                   "Extreme PW",      "Velocity Filter",   "Clang",
                                   "PW Pad",          "Bassy Bass",        "Sinister Returner",
                                   "KV Chimes 1",     "KV CrystalStrings", "KV Gamelan1",
                                   "KV Gamelan2",     "KV Keyboard1",      "KV QuietRingMod",
                                   "KV SpaceChatter", "KV SpaceOrgan",     "KV SpaceOrgan2",
                                   "KV Strings1",     "KV Strings2",       "KV Wormhole",
                                   "KV Bass1",        "KV Bass2",          "KV SciFi1",
                                   "KV Stars1",       "KV Stars2"};
    for (int i = 0; i < 32; ++i)
    {
        EXPECT_EQ(list[i].number, i);
        EXPECT_EQ(list[i].name, names[i]);
        EXPECT_STREQ(GetFactoryPresetTable()[i].name, names[i]);
    }
    EXPECT_EQ(list[15].name, "KV Chimes 1");
    EXPECT_EQ(synth->GetCurrentPreset().number, 0);
    EXPECT_EQ(synth->GetCurrentPreset().name, "Defaults");
}

TEST(FactoryPresets, ValuesStayInRangeAndLeftoversSitInUnusedSlots)
{
    int leftovers = 0;
    for (int p = 0; p < kNumFactoryPresets; ++p)
        for (std::uint32_t id = 0; id < kNumParams; ++id)
        {
            const float v = GetFactoryPresetTable()[p].values[id];
            const ParamInfo& row = astParamInfos[id];
            if (IsLeftoverSlot(p, id))
            {
                EXPECT_NE(v, 0.0f) << "preset " << p << " identifier " << id;
                ++leftovers;
                continue;
            }
            EXPECT_TRUE(v >= row.minValue && v <= row.maxValue)
                << "preset " << p << " " << row.name << " = " << v;
            if (GetParamKind(id) != ParamKind::Live)
            {
                EXPECT_EQ(v, 0.0f) << "preset " << p << " identifier " << id;
            }
        }
    EXPECT_EQ(leftovers, 8 * 6 + 3 * 14);
}

TEST(FactoryPresets, GivenPresetsCarryExactlyTheirValues)
{
    for (std::uint32_t id = 0; id < kNumParams; ++id)
        EXPECT_EQ(GetFactoryPresetTable()[0].values[id], astParamInfos[id].defaultValue) << id;

    ExpectExactly(1, {{"Level 3", -0.111f},
                      {"Level 5", 0.04f},
                      {"Level 7", -0.02f},
                      {"Level 9", 0.012f},
                      {"Level 11", -0.008f},
                      {"Level 13", 0.006f},
                      {"Level 15", -0.004f},
                      {"Attack", 1.125f},
                      {"Decay", 1.075f},
                      {"Release", 1.8f},
                      {"Filter Cutoff", 2039.05f},
                      {"Filter Q", 0.154f},
                      {"Filter Type", 0.88f},
                      {"Modulation On/Off", 1.0f},
                      {"Modulation Wet/Dry", 35.0f},
                      {"Modulation Delay", 215.0f},
                      {"Modulation Sweep", 2.75f},
                      {"Modulation Rate", 0.522f},
                      {"Modulation Feedback", -92.0f}});

    ExpectExactly(3,
                  {{"Level 2", 1.0f},        {"Level 4", 1.0f},        {"Level 8", 0.2f},
                   {"Level 16", 0.125f},     {"Attack", 0.125f},       {"Env 1 Time A3", 0.5f},
                   {"Env 1 Time R1", 0.25f}, {"Env 1 Sustain", 0.0f},  {"Env 2 Time A1", 0.275f},
                   {"Env 2 Time A2", 0.25f}, {"Env 2 Time A3", 0.25f}, {"Env 2 Time R1", 0.25f},
                   {"Env 2 Sustain", 0.0f},  {"Env 3 Time A1", 0.5f},  {"Env 3 Time A2", 0.25f},
                   {"Env 3 Time A3", 0.25f}, {"Env Select 1", 1.0f},   {"Env Select 2", 2.0f},
                   {"Env Select 4", 3.0f},   {"Env Select 8", 1.0f},   {"LFO 3 Speed", 4.748f},
                   {"LFO 3 Offset", 0.2f},   {"LFO 3 Amount", 1.0f},   {"Pulse Width", 0.495f},
                   {"PW LFO Speed", 0.193f}, {"PW LFO Amount", 0.04f}, {"Filter Cutoff", 1027.78f},
                   {"Filter Q", 0.149f},     {"Filter Type", 0.96f}});

    ExpectExactly(6, {{"Level 3", 0.333f},
                      {"Level 5", 0.2f},
                      {"Level 7", 0.143f},
                      {"Level 9", 0.111f},
                      {"Level 11", 0.091f},
                      {"Level 13", 0.077f},
                      {"Level 15", 0.067f},
                      {"Attack", 0.3f},
                      {"Release", 0.525f},
                      {"Sustain", 0.63f},
                      {"Env Select 7", 1.0f},
                      {"Env Select 9", 1.0f},
                      {"Env Select 11", 1.0f},
                      {"Env Select 13", 1.0f},
                      {"Env Select 15", 1.0f},
                      {"LFO 1 Speed", 8.645f},
                      {"LFO 1 Offset", 0.86f},
                      {"LFO 1 Amount", 0.29f},
                      {"PW LFO Speed", 6.034f},
                      {"PW Env Attack", 0.0f},
                      {"PW Env Decay", 1.55f},
                      {"PW Env Sustain", 0.08f},
                      {"PW Env Amount", 0.48f},
                      {"Filter Cutoff", 291.375f},
                      {"Filter Q", 0.709f},
                      {"Filter Type", 1.0f},
                      {"Filter Env Attack", 0.0f},
                      {"Filter Env Decay", 1.575f},
                      {"Filter Env Sustain", 0.405f},
                      {"Filter Env Amount", 4.0f},
                      {"Coarse Tune", -24.0f}});

    EXPECT_EQ(Value(17, "LFO 1 Speed"), 40.8561f);
    EXPECT_EQ(Value(17, "LFO 1 Multiplier"), 2.0f);
    EXPECT_EQ(Value(17, "LFO 2 Speed"), 100.0f);
    EXPECT_EQ(Value(17, "LFO 2 Multiplier"), 2.0f);
}

TEST(FactoryPresets, PresetsAreDistinct)
{
    const FactoryPresetTable& table = GetFactoryPresetTable();
    for (int a = 0; a < kNumFactoryPresets; ++a)
        for (int b = a + 1; b < kNumFactoryPresets; ++b)
            EXPECT_NE(table[a].values, table[b].values) << table[a].name << " / " << table[b].name;
}

TEST(FactoryPresets, LoadingSetsEveryValidIdentifierThroughTheNotifyingCall)
{
    TestInstance synth;
    Recorder recorder;
    ASSERT_TRUE(synth->AddParameterListener(&recorder));
    ASSERT_EQ(synth->NewFactoryPresetSet({31, "KV Stars2"}), kNoErr);
    synth->RemoveParameterListener(&recorder);

    ASSERT_EQ(recorder.changes.size(), 172u);
    std::uint32_t expected = 0;
    for (const auto& [id, value] : recorder.changes)
    {
        while (IsInvalidParam(expected))
            ++expected;
        EXPECT_EQ(id, expected);
        EXPECT_EQ(value, GetFactoryPresetTable()[31].values[id]);
        ++expected;
    }
    // Initialized: the reserved identifiers with leftovers were not created.
    for (std::uint32_t id = 99; id <= 112; ++id)
        EXPECT_FALSE(synth->Globals().Has(id)) << id;
    EXPECT_EQ(synth->Globals().GetNumberOfParameters(), 140u);
    EXPECT_EQ(synth->GetCurrentPreset().number, 31);
    EXPECT_EQ(synth->GetCurrentPreset().name, "KV Stars2");
    for (ParameterID id : synth->Globals().GetParameterList())
        EXPECT_EQ(synth->GetParameter(id), GetFactoryPresetTable()[31].values[id]) << id;
}

TEST(FactoryPresets, UnknownNumberIsRefusedAndChangesNothing)
{
    TestInstance synth;
    ASSERT_EQ(synth.Set(139, 555.0f), kNoErr);
    Recorder recorder;
    ASSERT_TRUE(synth->AddParameterListener(&recorder));
    EXPECT_EQ(synth->NewFactoryPresetSet({40, "Nothing"}), kErrInvalidPropertyValue);
    EXPECT_EQ(synth->NewFactoryPresetSet({-1, "Defaults"}), kErrInvalidPropertyValue);
    synth->RemoveParameterListener(&recorder);
    EXPECT_TRUE(recorder.changes.empty());
    EXPECT_EQ(synth->GetParameter(139), 555.0f);
    EXPECT_EQ(synth->GetCurrentPreset().number, 0);
}

TEST(FactoryPresets, LoadingAppliesThePortRule)
{
    TestInstance synth(48000.0, false);
    g_OSCBasePort.store(7000);
    ASSERT_EQ(synth.Set(180, 4.0f), kNoErr);
    ASSERT_EQ(synth->OSC().GetPort(), 7004);
    ASSERT_EQ(synth->NewFactoryPresetSet({2, "Wobbly Start"}), kNoErr);
    EXPECT_EQ(synth->OSC().GetPort(), 0);
}

TEST(FactoryPresets, FindByNumberOrName)
{
    EXPECT_EQ(FindFactoryPreset("0"), 0);
    EXPECT_EQ(FindFactoryPreset("31"), 31);
    EXPECT_EQ(FindFactoryPreset("32"), -1);
    EXPECT_EQ(FindFactoryPreset("KV Chimes 1"), 15);
    EXPECT_EQ(FindFactoryPreset("kv chimes 1"), -1);
    EXPECT_EQ(FindFactoryPreset(""), -1);
    EXPECT_EQ(FindFactoryPreset("-1"), -1);
}
