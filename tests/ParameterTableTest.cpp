// The parameter table against the published rows, written out here independently of the
// implementation's table, and the host-facing parameter queries.
#include "core/ParameterTable.h"
#include "core/TarnAdditiveSynth.h"
#include "osc/OSCHelper.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>

using namespace Tarn;
using TarnTest::TestInstance;

namespace
{

struct Row
{
    std::string name;
    std::uint32_t unit;
    float min, max, def;
};

// Unit codes: Generic 0, Indexed 1, Boolean 2, Percent 3, Seconds 4, Hertz 8, Cents 9,
// Semitones 10, Gain 14, Fader 17, ms 24.
std::map<std::uint32_t, Row> ExpectedRows()
{
    std::map<std::uint32_t, Row> r;
    r[0] = {"Volume", 17, 0, 1, 1};
    for (int i = 1; i <= 16; ++i)
        r[i] = {"Level " + std::to_string(i), 14, -1, 1, i == 1 ? 1.0f : 0.0f};
    const char* hex = "0123456789abcdef";
    for (int i = 0; i < 16; ++i)
    {
        r[17 + i] = {std::string("u") + hex[i], 0, 0, 0, 0};
        r[99 + i] = {std::string("u1") + hex[i], 0, 0, 0, 0};
    }
    r[33] = {"Attack", 4, 0, 5, 0.5f};
    r[34] = {"Decay", 4, 0, 5, 0.5f};
    r[35] = {"Release", 4, 0, 5, 0.5f};
    r[36] = {"Attack Shape", 0, 0, 1, 0};
    r[37] = {"Decay Shape", 0, 0, 1, 0};
    r[38] = {"Release Shape", 0, 0, 1, 0};
    r[39] = {"Unused0", 0, 0, 0, 0};
    r[40] = {"Sustain", 14, 0, 1, 0.7f};
    for (int k = 0; k < 3; ++k)
    {
        const std::string e = "Env " + std::to_string(k + 1) + " ";
        const int b = 41 + 14 * k;
        r[b + 0] = {e + "Time A1", 4, 0, 5, 0};
        r[b + 1] = {e + "Time A2", 4, 0, 5, 0};
        r[b + 2] = {e + "Time A3", 4, 0, 5, 0};
        r[b + 3] = {e + "Time R1", 4, 0, 5, 0};
        r[b + 4] = {e + "Time R2", 4, 0, 5, 5};
        r[b + 5] = {e + "Shape A1", 0, 0, 1, 0};
        r[b + 6] = {e + "Shape A2", 0, 0, 1, 0};
        r[b + 7] = {e + "Shape A3", 0, 0, 1, 0};
        r[b + 8] = {e + "Shape R1", 0, 0, 1, 0};
        r[b + 9] = {e + "Shape R2", 0, 0, 1, 0};
        r[b + 10] = {e + "Level A1", 14, 0, 1, 0};
        r[b + 11] = {e + "Level A2", 14, 0, 1, 1};
        r[b + 12] = {e + "Sustain", 14, 0, 1, 1};
        r[b + 13] = {e + "Level R1", 14, 0, 1, 1};
    }
    for (int n = 1; n <= 16; ++n)
        r[82 + n] = {"Env Select " + std::to_string(n), 1, 0, 3, 0};
    for (int k = 0; k < 4; ++k)
    {
        const std::string l = "LFO " + std::to_string(k + 1) + " ";
        r[115 + 3 * k] = {l + "Speed", 8, 0.05f, 100, 1};
        r[116 + 3 * k] = {l + "Offset", 0, 0, 1, 1};
        r[117 + 3 * k] = {l + "Amount", 0, 0, 1, 0};
        r[172 + 2 * k] = {l + "KB Track", 0, 0, 1, 0};
        r[173 + 2 * k] = {l + "Multiplier", 1, 0, 2, 0};
    }
    r[127] = {"Pulse Width", 0, 0, 1, 0.5f};
    r[128] = {"PW LFO Speed", 8, 0.05f, 20, 1};
    r[129] = {"PW LFO Amount", 0, 0, 1, 0};
    r[130] = {"PW Env Attack", 4, 0, 5, 1};
    r[131] = {"PW Env Decay", 4, 0, 5, 1};
    r[132] = {"PW Env Release", 4, 0, 5, 1};
    for (int i = 1; i <= 4; ++i)
        r[132 + i] = {"Unused" + std::to_string(i), 0, 0, 0, 0};
    r[137] = {"PW Env Sustain", 14, 0, 1, 0.7f};
    r[138] = {"PW Env Amount", 0, -1, 1, 0};
    r[139] = {"Filter Cutoff", 8, 50, 12000, 1000};
    r[140] = {"Filter Q", 0, 0.01f, 1, 0.1f};
    r[141] = {"Filter Type", 0, 0, 4, 0};
    r[142] = {"Filter LFO Speed", 8, 0.05f, 20, 0.2f};
    r[143] = {"Filter LFO Amount", 0, 0, 3, 0};
    r[144] = {"Filter LFO Type Amount", 0, 0, 4, 0};
    r[145] = {"Filter Env Attack", 4, 0, 5, 1};
    r[146] = {"Filter Env Decay", 4, 0, 5, 1};
    r[147] = {"Filter Env Release", 4, 0, 5, 1};
    for (int i = 5; i <= 8; ++i)
        r[143 + i] = {"Unused" + std::to_string(i), 0, 0, 0, 0};
    r[152] = {"Filter Env Sustain", 14, 0, 1, 0.7f};
    r[153] = {"Filter Env Amount", 0, -4, 4, 0};
    r[154] = {"Pitch Wheel Range", 10, 0, 12, 2};
    r[155] = {"Velocity Env Amount", 0, -1, 1, 1};
    r[156] = {"Velocity Filter Amount", 0, -8, 8, 0};
    r[157] = {"Velocity Filter Env Amount", 0, -1, 1, 0};
    r[158] = {"Velocity PW Amount", 0, -1, 1, 0};
    r[159] = {"Velocity PW Env Amount", 0, -1, 1, 0};
    r[160] = {"Coarse Tune", 10, -24, 24, 0};
    r[161] = {"Fine Tune", 9, -100, 100, 0};
    r[162] = {"Modulation On/Off", 2, 0, 1, 0};
    r[163] = {"Modulation Wet/Dry", 3, 0, 100, 50};
    r[164] = {"Modulation Delay", 24, 0, 500, 10};
    r[165] = {"Modulation Sweep", 24, 0, 50, 1};
    r[166] = {"Modulation Rate", 8, 0.05f, 20, 0.2f};
    r[167] = {"Modulation Feedback", 3, -100, 100, 0};
    r[168] = {"Modulation Spread", 0, 0, 1, 0.5f};
    r[169] = {"Modulation Voices", 1, 1, 4, 2};
    r[170] = {"Modulation Shape", 0, 0, 1, 0};
    r[171] = {"Filter KB Track", 0, 0, 1, 0};
    r[180] = {"OSC Port Offset", 1, 0, 100, 0};
    return r;
}

} // namespace

TEST(ParameterTable, EveryRowMatchesThePublishedTable)
{
    const auto expected = ExpectedRows();
    ASSERT_EQ(expected.size(), 181u);
    for (const auto& [id, row] : expected)
    {
        SCOPED_TRACE("id " + std::to_string(id));
        EXPECT_EQ(astParamInfos[id].name, row.name);
        EXPECT_EQ(astParamInfos[id].unit, row.unit);
        EXPECT_FLOAT_EQ(astParamInfos[id].minValue, row.min);
        EXPECT_FLOAT_EQ(astParamInfos[id].maxValue, row.max);
        EXPECT_FLOAT_EQ(astParamInfos[id].defaultValue, row.def);
    }
    // The longest name fits the host record's 52-byte name field with room to spare.
    EXPECT_EQ(std::string(astParamInfos[157].name).size(), 26u);
}

TEST(ParameterTable, KindsAndNameLookup)
{
    int live = 0;
    for (std::uint32_t id = 0; id < 181; ++id)
        live += GetParamKind(id) == ParamKind::Live;
    EXPECT_EQ(live, 140);
    for (std::uint32_t id : {17u, 32u, 99u, 114u})
        EXPECT_EQ(GetParamKind(id), ParamKind::Reserved) << id;
    for (std::uint32_t id : {39u, 133u, 136u, 148u, 151u, 181u, 1000u})
        EXPECT_EQ(GetParamKind(id), ParamKind::Invalid) << id;
    EXPECT_EQ(FindParamByName("Filter Cutoff"), 139);
    EXPECT_EQ(FindParamByName("Env 2 Time R2"), 59);
    EXPECT_EQ(FindParamByName("LFO 3 Speed"), 121);
    EXPECT_EQ(FindParamByName("LFO 4 Multiplier"), 179);
    EXPECT_EQ(FindParamByName("filter cutoff"), -1);
    EXPECT_EQ(FindParamByName(nullptr), -1);
}

TEST(ParameterQueries, HostParameterListHoldsTheLiveIdentifiers)
{
    TestInstance synth;
    std::uint32_t size = 0;
    ASSERT_EQ(synth->DispatchGetPropertyInfo(TW::kPropertyParameterList, TW::Scope::Global, 0,
                                             &size, nullptr),
              TW::kNoErr);
    ASSERT_EQ(size, 140 * sizeof(std::uint32_t));
    std::vector<std::uint32_t> ids(140);
    ASSERT_EQ(synth->DispatchGetProperty(TW::kPropertyParameterList, TW::Scope::Global, 0,
                                         ids.data(), &size),
              TW::kNoErr);
    const std::set<std::uint32_t> set(ids.begin(), ids.end());
    for (std::uint32_t absent : {17u, 39u, 99u, 133u})
        EXPECT_EQ(set.count(absent), 0u) << absent;
    EXPECT_EQ(set.count(180u), 1u);
}

TEST(ParameterQueries, GetParameterInfo)
{
    TestInstance synth;
    TW::ParameterInfo info;
    ASSERT_EQ(synth->GetParameterInfo(TW::Scope::Global, 20, info), TW::kNoErr);
    EXPECT_STREQ(info.name, "u3");
    EXPECT_EQ(info.unit, TW::kUnitGeneric);
    EXPECT_EQ(info.minValue, 0.0f);
    EXPECT_EQ(info.maxValue, 0.0f);
    EXPECT_EQ(info.flags, 0xC8000001u);

    ASSERT_EQ(synth->GetParameterInfo(TW::Scope::Global, 141, info), TW::kNoErr);
    EXPECT_EQ(info.flags, 0xC8200001u);
    ASSERT_EQ(synth->GetParameterInfo(TW::Scope::Global, 140, info), TW::kNoErr);
    EXPECT_EQ(info.flags & TW::kParameterFlagValuesHaveStrings, 0u);
    EXPECT_STREQ(info.nameString, "Filter Q");

    // Flags are set before the identifier is refused; a non-global scope leaves the record.
    TW::ParameterInfo refused;
    EXPECT_EQ(synth->GetParameterInfo(TW::Scope::Global, 39, refused), TW::kErrInvalidParameter);
    EXPECT_EQ(refused.flags, 0xC8000001u);
    EXPECT_EQ(synth->GetParameterInfo(TW::Scope::Global, 150, refused), TW::kErrInvalidParameter);
    TW::ParameterInfo untouched;
    EXPECT_EQ(synth->GetParameterInfo(TW::Scope::Output, 0, untouched), TW::kErrInvalidParameter);
    EXPECT_EQ(untouched.flags, 0u);

    // Through the generic property call, the element carries the identifier.
    std::uint32_t size = sizeof info;
    ASSERT_EQ(synth->DispatchGetProperty(TW::kPropertyParameterInfo, TW::Scope::Global, 157,
                                         &info, &size),
              TW::kNoErr);
    EXPECT_STREQ(info.name, "Velocity Filter Env Amount");
}

TEST(ParameterQueries, ValueStrings)
{
    TestInstance synth;
    std::vector<std::string> strings;
    ASSERT_EQ(synth->GetParameterValueStrings(TW::Scope::Global, 90, &strings), TW::kNoErr);
    EXPECT_EQ(strings, (std::vector<std::string>{"None", "1", "2", "3"}));
    ASSERT_EQ(synth->GetParameterValueStrings(TW::Scope::Global, 177, &strings), TW::kNoErr);
    EXPECT_EQ(strings, (std::vector<std::string>{"1", "10", "100"}));
    EXPECT_EQ(synth->GetParameterValueStrings(TW::Scope::Global, 141, &strings),
              TW::kErrInvalidProperty);
    EXPECT_EQ(synth->GetParameterValueStrings(TW::Scope::Output, 90, &strings),
              TW::kErrInvalidProperty);
    EXPECT_EQ(synth->GetParameterValueStrings(TW::Scope::Global, 141, nullptr), TW::kNoErr);
}

namespace
{

// Property 33 for an explicit value; "" when there is no string, "<status>" on failure.
std::string StringFromValue(TarnAdditiveSynth& synth, std::uint32_t id, const float* value)
{
    TarnParameterStringFromValue request{id, value, "stale"};
    std::uint32_t size = sizeof request;
    const TW::Status status = synth.DispatchGetProperty(kPropertyParameterStringFromValue,
                                                        TW::Scope::Global, 0, &request, &size);
    if (status != TW::kNoErr)
        return "<" + std::to_string(status) + ">";
    return request.outString ? request.outString : "";
}

std::string StringFromValue(TarnAdditiveSynth& synth, std::uint32_t id, float value)
{
    return StringFromValue(synth, id, &value);
}

} // namespace

TEST(ParameterQueries, StringFromValue)
{
    TestInstance synth;
    EXPECT_EQ(StringFromValue(*synth, 141, 2.004f), "Band");
    EXPECT_EQ(StringFromValue(*synth, 141, 2.006f), "");
    EXPECT_EQ(StringFromValue(*synth, 141, 4.0f), "Thru");
    EXPECT_EQ(StringFromValue(*synth, 141, -0.002f), "Thru");
    EXPECT_EQ(StringFromValue(*synth, 141, 1.0f), "Low");
    EXPECT_EQ(StringFromValue(*synth, 141, 3.0f), "High");
    EXPECT_EQ(StringFromValue(*synth, 141, 5.0f), "");
    EXPECT_EQ(StringFromValue(*synth, 141, std::nanf("")), "");
    EXPECT_EQ(StringFromValue(*synth, 59, 5.0f), "Inf");
    EXPECT_EQ(StringFromValue(*synth, 59, 4.99f), "");
    for (std::uint32_t id : {45u, 73u, 132u, 147u})
        EXPECT_EQ(StringFromValue(*synth, id, 5.0f), "Inf") << id;
    EXPECT_EQ(StringFromValue(*synth, 180, 0.0f), "Off");
    EXPECT_EQ(StringFromValue(*synth, 180, 0.4f), "");
    EXPECT_EQ(StringFromValue(*synth, 139, 1000.0f), "<-10878>");
    // Without a value, the stored one is used: "Env 1 Time R2" defaults to 5 ("Inf").
    EXPECT_EQ(StringFromValue(*synth, 45, nullptr), "Inf");
    EXPECT_EQ(StringFromValue(*synth, 180, nullptr), "Off");
}

TEST(ParameterSetting, StoreRulesAndTheInstrumentsReaction)
{
    TestInstance synth(48000.0, /*initialize=*/false);
    TW::OSCHelper& osc = synth->OSC();

    // Before Initialize the store creates what it is asked to set, and does not clamp.
    EXPECT_EQ(synth.Set(139, 20000.0f), TW::kNoErr);
    EXPECT_EQ(synth->GetParameter(139), 20000.0f);
    EXPECT_EQ(synth.Set(21, 0.5f), TW::kNoErr);
    EXPECT_TRUE(synth->Globals().Has(21));

    ASSERT_EQ(synth->DoInitialize(), TW::kNoErr);
    const int base = g_OSCBasePort.load();

    // After Initialize an identifier the store does not hold is ignored, but still notified.
    const auto notified = osc.GetNotifyCount();
    EXPECT_EQ(synth.Set(20, 3.0f), TW::kNoErr);
    EXPECT_FALSE(synth->Globals().Has(20));
    EXPECT_EQ(osc.GetNotifyCount(), notified + 1);
    // Invalid identifiers never reach the instrument's reaction.
    EXPECT_EQ(synth.Set(39, 3.0f), TW::kNoErr);
    EXPECT_EQ(osc.GetNotifyCount(), notified + 1);
    float value = 0.0f;
    EXPECT_EQ(synth->DispatchGetParameter(20, TW::Scope::Global, 0, value),
              TW::kErrInvalidParameter);
    EXPECT_THROW(synth->GetParameter(20), TW::HostError);

    // The OSC port rule: truncation toward zero, 0 disables.
    EXPECT_EQ(synth.Set(180, 3.7f), TW::kNoErr);
    EXPECT_EQ(osc.GetPort(), base + 3);
    EXPECT_EQ(synth.Set(180, 0.4f), TW::kNoErr);
    EXPECT_EQ(osc.GetPort(), 0);
    EXPECT_EQ(synth.Set(180, 2.9f), TW::kNoErr);
    std::int32_t offset = -1;
    std::uint32_t size = sizeof offset;
    ASSERT_EQ(synth->DispatchGetProperty(kPropertyOSCPortOffset, TW::Scope::Global, 0, &offset,
                                         &size),
              TW::kNoErr);
    EXPECT_EQ(offset, 2);
    EXPECT_EQ(synth.Set(180, 0.0f), TW::kNoErr);
}
