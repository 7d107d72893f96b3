// Saved state: the class-info dictionary, its "data" block, restoring with the instrument's
// additions, and the property-list file form.
#include "support/TestInstance.h"

#include "core/Base64.h"
#include "core/PlistFile.h"
#include "osc/OSCHelper.h"
#include "platform/StateData.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <limits>

using TarnTest::TestInstance;
using namespace TW;

namespace
{

constexpr std::int64_t kVeLu = 0x56654C75; // 'VeLu'
constexpr std::int64_t kTarn = 0x5461726E; // 'Tarn'

// A valid state of the instance with one value replaced in its data block.
ClassInfoDictionary StateWith(TestInstance& synth, ParameterID id, float value)
{
    ClassInfoDictionary state;
    EXPECT_EQ(synth->SaveState(state), kNoErr);
    std::vector<StateElementValues> elements;
    std::string error;
    auto& data = std::get<std::vector<std::uint8_t>>(state["data"]);
    EXPECT_TRUE(DecodeStateData(data.data(), data.size(), elements, error)) << error;
    bool replaced = false;
    for (StateParameter& p : elements.at(0).values)
        if (p.id == id)
        {
            p.value = value;
            replaced = true;
        }
    EXPECT_TRUE(replaced) << id;
    data = EncodeStateData(elements);
    return state;
}

std::uint32_t BigEndian32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) |
           (std::uint32_t(b[at + 2]) << 8) | std::uint32_t(b[at + 3]);
}

} // namespace

TEST(SavedState, DictionaryKeysAndBigEndianDataLayout)
{
    TestInstance synth;
    ASSERT_EQ(synth.Set(139, 2039.05f), kNoErr);
    ClassInfoDictionary state;
    ASSERT_EQ(synth->SaveState(state), kNoErr);

    EXPECT_EQ(std::get<std::int64_t>(state.at("version")), 0);
    EXPECT_EQ(std::get<std::int64_t>(state.at("type")), 0x61756D75); // 'aumu'
    EXPECT_EQ(std::get<std::int64_t>(state.at("subtype")), kVeLu);
    EXPECT_EQ(std::get<std::int64_t>(state.at("manufacturer")), kTarn);
    EXPECT_EQ(std::get<std::string>(state.at("name")), "Defaults");

    const auto& data = std::get<std::vector<std::uint8_t>>(state.at("data"));
    ASSERT_EQ(data.size(), 12u + 140u * 8u);
    EXPECT_EQ(BigEndian32(data, 0), 0u);   // global scope
    EXPECT_EQ(BigEndian32(data, 4), 0u);   // element 0
    EXPECT_EQ(BigEndian32(data, 8), 140u); // the live parameters
    std::uint32_t previous = 0;
    bool sawCutoff = false;
    for (std::size_t i = 0; i < 140; ++i)
    {
        const std::uint32_t id = BigEndian32(data, 12 + 8 * i);
        const float value = std::bit_cast<float>(BigEndian32(data, 16 + 8 * i));
        if (i > 0)
        {
            EXPECT_GT(id, previous);
        }
        previous = id;
        EXPECT_FALSE(id == 17 || id == 39 || id == 99 || id == 133) << id;
        if (id == 139)
        {
            EXPECT_EQ(value, 2039.05f);
            sawCutoff = true;
        }
    }
    EXPECT_TRUE(sawCutoff);
    // The first pair is "Volume" at its default 1.0: bytes 00000000 3F800000.
    EXPECT_EQ(BigEndian32(data, 12), 0u);
    EXPECT_EQ(BigEndian32(data, 16), 0x3F800000u);
}

TEST(SavedState, RestoreWritesTheStoreDirectlyAndNamesTheState)
{
    TestInstance source;
    ASSERT_EQ(source->NewFactoryPresetSet({6, "PW Dive"}), kNoErr);
    ClassInfoDictionary state;
    ASSERT_EQ(source->SaveState(state), kNoErr);
    EXPECT_EQ(std::get<std::string>(state.at("name")), "PW Dive");

    TestInstance target;
    ASSERT_EQ(target->RestoreState(state), kNoErr);
    EXPECT_TRUE(target->GetStateError().empty());
    for (ParameterID id : source->Globals().GetParameterList())
        EXPECT_EQ(target->GetParameter(id), source->GetParameter(id)) << id;
    EXPECT_EQ(target->GetCurrentPreset().number, -1);
    EXPECT_EQ(target->GetCurrentPreset().name, "PW Dive");

    state.erase("name");
    ASSERT_EQ(target->RestoreState(state), kNoErr);
    EXPECT_EQ(target->GetCurrentPreset().name, "Untitled");
}

TEST(SavedState, OldLFOSpeedsAreSplitIntoSpeedAndMultiplier)
{
    struct Case
    {
        float saved;
        float speed;
        float multiplier;
    };
    for (const Case& c : {Case{250.0f, 25.0f, 1.0f}, Case{99.5f, 99.5f, 0.0f},
                          Case{1000.0f, 100.0f, 1.0f}, Case{5000.0f, 50.0f, 2.0f}})
    {
        TestInstance synth;
        const ClassInfoDictionary state = StateWith(synth, 118, c.saved); // "LFO 2 Speed"
        ASSERT_EQ(synth->RestoreState(state), kNoErr);
        EXPECT_FLOAT_EQ(synth->GetParameter(118), c.speed) << c.saved;
        EXPECT_EQ(synth->GetParameter(175), c.multiplier) << c.saved; // "LFO 2 Multiplier"
        EXPECT_EQ(synth->GetParameter(115), 1.0f);                    // the other LFOs untouched
    }
}

TEST(SavedState, ConversionGoesThroughTheNotifyingCall)
{
    struct Recorder : ParameterListener
    {
        std::vector<std::pair<ParameterID, float>> changes;
        void ParameterChanged(void*, const ParameterAddress& a, float v) override
        {
            changes.emplace_back(a.id, v);
        }
    } recorder;
    TestInstance synth;
    const ClassInfoDictionary state = StateWith(synth, 124, 250.0f); // "LFO 4 Speed"
    ASSERT_TRUE(synth->AddParameterListener(&recorder));
    ASSERT_EQ(synth->RestoreState(state), kNoErr);
    synth->RemoveParameterListener(&recorder);
    // The restore itself notifies nobody; the conversion does, speed first.
    ASSERT_EQ(recorder.changes.size(), 2u);
    EXPECT_EQ(recorder.changes[0], std::make_pair(ParameterID{124}, 25.0f));
    EXPECT_EQ(recorder.changes[1], std::make_pair(ParameterID{179}, 1.0f));
}

TEST(SavedState, ForeignComponentIsRefusedButTheConversionStillRuns)
{
    TestInstance synth;
    ClassInfoDictionary state = StateWith(synth, 115, 42.0f);
    state["subtype"] = std::int64_t{0x4F746872}; // 'Othr'
    // A speed above 100 Hz set directly (the store does not clamp) is what the conversion sees.
    ASSERT_EQ(synth.Set(121, 250.0f), kNoErr);
    EXPECT_EQ(synth->RestoreState(state), kErrInvalidPropertyValue);
    EXPECT_NE(synth->GetStateError().find("another component"), std::string::npos)
        << synth->GetStateError();
    EXPECT_EQ(synth->GetParameter(115), 1.0f); // nothing of the refused state was written
    EXPECT_FLOAT_EQ(synth->GetParameter(121), 25.0f);
    EXPECT_EQ(synth->GetParameter(177), 1.0f);

    state = StateWith(synth, 115, 42.0f);
    state["manufacturer"] = std::int64_t{0x4F746872};
    EXPECT_EQ(synth->RestoreState(state), kErrInvalidPropertyValue);
    EXPECT_EQ(synth->GetParameter(115), 1.0f);
}

TEST(SavedState, PortRuleRunsAfterRestore)
{
    TestInstance synth(48000.0, false);
    g_OSCBasePort.store(7000);
    ASSERT_EQ(synth->OSC().GetPort(), 0);
    ClassInfoDictionary state = StateWith(synth, 180, 5.0f);
    ASSERT_EQ(synth->RestoreState(state), kNoErr);
    EXPECT_EQ(synth->OSC().GetPort(), 7005);

    // A refused state re-applies the rule to the values that stay.
    state["version"] = std::int64_t{1};
    ASSERT_EQ(synth.Set(180, 0.0f), kNoErr);
    ASSERT_EQ(synth->OSC().GetPort(), 0);
    synth->OSC().SetPort(7050);
    EXPECT_EQ(synth->RestoreState(state), kErrInvalidPropertyValue);
    EXPECT_EQ(synth->OSC().GetPort(), 0);
}

TEST(SavedState, BadStatesAreRefusedAndChangeNothing)
{
    TestInstance synth;
    ClassInfoDictionary good;
    ASSERT_EQ(synth->SaveState(good), kNoErr);
    const auto& goodData = std::get<std::vector<std::uint8_t>>(good.at("data"));

    auto withData = [&](std::vector<std::uint8_t> data)
    {
        ClassInfoDictionary s = good;
        s["data"] = std::move(data);
        return s;
    };
    auto without = [&](const char* key)
    {
        ClassInfoDictionary s = good;
        s.erase(key);
        return s;
    };
    std::vector<std::uint8_t> truncated(goodData.begin(), goodData.end() - 3);
    std::vector<std::uint8_t> extra = goodData;
    extra.insert(extra.end(), {0, 0, 0, 0});
    std::vector<std::uint8_t> hugeCount = goodData;
    hugeCount[8] = 0xFF;
    std::vector<std::uint8_t> nan = goodData;
    nan[16] = 0x7F;
    nan[17] = 0xC0; // "Volume" becomes a NaN
    std::vector<std::uint8_t> inf = goodData;
    inf[16] = 0x7F;
    inf[17] = 0x80;
    inf[18] = inf[19] = 0;
    std::vector<std::uint8_t> badScope = goodData;
    badScope[3] = 1;
    std::vector<std::uint8_t> badId = goodData;
    badId[15] = 200; // identifier 200 in place of 0

    ClassInfoDictionary withPart = good;
    withPart["part"] = std::int64_t{0};
    ClassInfoDictionary textVersion = good;
    textVersion["version"] = std::string("0");
    ClassInfoDictionary textData = good;
    textData["data"] = std::string("AAAA");
    ClassInfoDictionary numberName = good;
    numberName["name"] = std::int64_t{3};

    const std::vector<std::pair<const char*, ClassInfoDictionary>> cases = {
        {"truncated", withData(truncated)},
        {"bytes left over", withData(extra)},
        {"count beyond the block", withData(hugeCount)},
        {"NaN", withData(nan)},
        {"infinity", withData(inf)},
        {"empty data", withData({})},
        {"unknown scope", withData(badScope)},
        {"identifier above 180", withData(badId)},
        {"part", withPart},
        {"no version", without("version")},
        {"no subtype", without("subtype")},
        {"no manufacturer", without("manufacturer")},
        {"no type", without("type")},
        {"no data", without("data")},
        {"version as text", textVersion},
        {"data as text", textData},
        {"name as number", numberName},
    };
    ASSERT_EQ(synth.Set(139, 777.0f), kNoErr);
    for (const auto& [what, state] : cases)
    {
        EXPECT_EQ(synth->RestoreState(state), kErrInvalidPropertyValue) << what;
        EXPECT_FALSE(synth->GetStateError().empty()) << what;
        EXPECT_EQ(synth->GetParameter(0), 1.0f) << what;
        EXPECT_EQ(synth->GetParameter(139), 777.0f) << what;
        EXPECT_EQ(synth->GetCurrentPreset().name, "Defaults") << what;
    }
}

TEST(SavedState, IdentifiersTheInitializedStoreLacksAreIgnored)
{
    TestInstance synth;
    std::vector<StateElementValues> elements(1);
    elements[0].values = {{0, 0.5f}, {20, 3.0f}, {139, 500.0f}};
    ClassInfoDictionary state;
    ASSERT_EQ(synth->SaveState(state), kNoErr);
    state["data"] = EncodeStateData(elements);
    ASSERT_EQ(synth->RestoreState(state), kNoErr);
    EXPECT_EQ(synth->GetParameter(0), 0.5f);
    EXPECT_EQ(synth->GetParameter(139), 500.0f);
    EXPECT_FALSE(synth->Globals().Has(20));
}

TEST(PlistFile, RoundTripThroughAFile)
{
    TestInstance source;
    ASSERT_EQ(source->NewFactoryPresetSet({17, "KV Gamelan1"}), kNoErr);
    ASSERT_EQ(source.Set(161, -12.345678f), kNoErr);
    ClassInfoDictionary state;
    ASSERT_EQ(source->SaveState(state), kNoErr);
    const std::string path = testing::TempDir() + "velluna-roundtrip.plist";
    std::string error;
    ASSERT_TRUE(Tarn::WritePlistFile(path, state, error)) << error;

    ClassInfoDictionary read;
    ASSERT_TRUE(Tarn::ReadPlistFile(path, read, error)) << error;
    EXPECT_EQ(read, state);

    TestInstance target;
    ASSERT_EQ(target->RestoreState(read), kNoErr);
    for (ParameterID id : source->Globals().GetParameterList())
        EXPECT_EQ(target->GetParameter(id), source->GetParameter(id)) << id;
    EXPECT_EQ(target->GetCurrentPreset().name, "KV Gamelan1");
}

TEST(PlistFile, WritesTheCommonPlistForm)
{
    ClassInfoDictionary d{{"type", std::int64_t{0x61756D75}},
                          {"name", std::string("A & <B>")},
                          {"data", std::vector<std::uint8_t>{0, 1, 2, 0xFF}}};
    const std::string text = Tarn::WritePlist(d);
    EXPECT_NE(text.find("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\""),
              std::string::npos);
    EXPECT_NE(text.find("<plist version=\"1.0\">"), std::string::npos);
    EXPECT_NE(text.find("<key>type</key>"), std::string::npos);
    EXPECT_NE(text.find("<integer>1635085685</integer>"), std::string::npos);
    EXPECT_NE(text.find("<string>A &amp; &lt;B&gt;</string>"), std::string::npos);
    EXPECT_NE(text.find("AAEC/w=="), std::string::npos);
}

TEST(PlistFile, ReadsWhatOtherWritersProduce)
{
    const std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>version</key><integer>0</integer>
  <key>n</key><integer>-42</integer>
  <key>r</key><real>0.5</real>
  <key>t</key><true/>
  <key>nested</key><dict><key>x</key><string>y</string></dict>
  <key>data</key><data>
    AAEC
    /w==
  </data>
</dict></plist>)";
    ClassInfoDictionary d;
    std::string error;
    ASSERT_TRUE(Tarn::ParsePlist(text.data(), text.size(), d, error)) << error;
    EXPECT_EQ(std::get<std::int64_t>(d.at("n")), -42);
    EXPECT_EQ(std::get<double>(d.at("r")), 0.5);
    EXPECT_EQ(std::get<std::int64_t>(d.at("t")), 1);
    EXPECT_EQ(d.count("nested"), 0u);
    EXPECT_EQ(std::get<std::vector<std::uint8_t>>(d.at("data")),
              (std::vector<std::uint8_t>{0, 1, 2, 0xFF}));
}

TEST(PlistFile, MalformedDocumentsAreRefusedWithAReason)
{
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"not XML", "this is not a plist"},
        {"unclosed", "<plist version=\"1.0\"><dict><key>a</key>"},
        {"other root", "<html><dict/></html>"},
        {"array root", "<plist><array/></plist>"},
        {"two values", "<plist><dict/><dict/></plist>"},
        {"value without key", "<plist><dict><integer>1</integer></dict></plist>"},
        {"key without value", "<plist><dict><key>a</key></dict></plist>"},
        {"repeated key",
         "<plist><dict><key>a</key><integer>1</integer><key>a</key><integer>2</integer>"
         "</dict></plist>"},
        {"bad integer", "<plist><dict><key>a</key><integer>12x</integer></dict></plist>"},
        {"huge integer",
         "<plist><dict><key>a</key><integer>99999999999999999999</integer></dict></plist>"},
        {"bad base64", "<plist><dict><key>a</key><data>AA*A</data></dict></plist>"},
        {"cut base64", "<plist><dict><key>a</key><data>AAE</data></dict></plist>"},
        {"unknown element", "<plist><dict><key>a</key><blob/></dict></plist>"},
        {"stray text", "<plist><dict>hello<key>a</key><integer>1</integer></dict></plist>"},
    };
    for (const auto& [what, text] : cases)
    {
        ClassInfoDictionary d{{"keep", std::int64_t{1}}};
        std::string error;
        EXPECT_FALSE(Tarn::ParsePlist(text.data(), text.size(), d, error)) << what;
        EXPECT_FALSE(error.empty()) << what;
        EXPECT_EQ(d.size(), 1u) << what; // untouched
    }
    ClassInfoDictionary d;
    std::string error;
    EXPECT_FALSE(Tarn::ReadPlistFile(testing::TempDir() + "no-such-state.plist", d, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST(Base64, KnownVectorsAndStrictDecoding)
{
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, coded] : vectors)
    {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(plain.data());
        EXPECT_EQ(Tarn::EncodeBase64(bytes, plain.size()), coded);
        std::vector<std::uint8_t> out;
        std::string error;
        ASSERT_TRUE(Tarn::DecodeBase64(coded.data(), coded.size(), out, error)) << coded;
        EXPECT_EQ(std::string(out.begin(), out.end()), plain);
    }
    for (const std::string bad : {"Zg", "Zg=", "Z===", "Zg==Zg==", "=Zg=", "Zm9v!"})
    {
        std::vector<std::uint8_t> out;
        std::string error;
        EXPECT_FALSE(Tarn::DecodeBase64(bad.data(), bad.size(), out, error)) << bad;
    }
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    const std::string wrapped = Tarn::EncodeBase64(all.data(), all.size(), 68, "\t");
    std::vector<std::uint8_t> back;
    std::string error;
    ASSERT_TRUE(Tarn::DecodeBase64(wrapped.data(), wrapped.size(), back, error));
    EXPECT_EQ(back, all);
}
