// The part every plug-in adapter shares: MIDI at offsets under queue pressure, the host's
// sample rate, value text, the change listener and the saved-state text.
#include "AudioChecks.h"
#include "UserFolders.h"

#include "core/ParameterTable.h"
#include "plugins/driver/PluginInstance.h"
#include "plugins/driver/PluginParameterMap.h"
#include "plugins/driver/PluginStateCodec.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <thread>
#include <vector>

using namespace TW;
using namespace VellunaHostTest;

namespace
{

// The user's own scripts and preferences stay out of these tests.
const int kIsolated = IsolateUserFolders();

struct Block
{
    std::vector<std::array<std::uint8_t, 3>> bytes;
    std::vector<PluginMidiMessage> messages;

    void Add(std::uint32_t frame, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
    {
        bytes.push_back({b0, b1, b2});
        messages.push_back({frame, 3, nullptr});
    }
    const PluginMidiMessage* Data()
    {
        for (std::size_t i = 0; i < messages.size(); ++i)
            messages[i].data = bytes[i].data();
        return messages.data();
    }
};

// Renders frames in blocks of size block; the first block gets the messages.
void Render(PluginInstance& instance, Block first, std::uint32_t frames, std::uint32_t block,
            std::vector<float>& left)
{
    std::vector<float> l(block), r(block);
    for (std::uint32_t done = 0; done < frames; done += block)
    {
        if (done == 0)
            instance.Process(first.Data(), static_cast<std::uint32_t>(first.messages.size()),
                             l.data(), r.data(), block);
        else
            instance.Process(nullptr, 0, l.data(), r.data(), block);
        left.insert(left.end(), l.begin(), l.end());
    }
}

TEST(PluginInstanceTest, ParameterListHasTheLiveIdentifiersInOrderWithStableSymbols)
{
    ASSERT_EQ(PluginParameterMap::Count(), 140u);
    std::uint32_t previous = 0;
    for (std::uint32_t i = 0; i < 140; ++i)
    {
        const ParameterID id = PluginParameterMap::IdAt(i);
        EXPECT_EQ(Tarn::GetParamKind(id), Tarn::ParamKind::Live);
        EXPECT_EQ(PluginParameterMap::IndexOf(id), static_cast<int>(i));
        if (i > 0)
        {
            EXPECT_GT(id, previous);
        }
        previous = id;
    }
    EXPECT_EQ(PluginParameterMap::IdAt(139), 180u);
    EXPECT_EQ(PluginParameterMap::IndexOf(17), -1);
    EXPECT_EQ(PluginParameterMap::IndexOf(39), -1);
    EXPECT_EQ(PluginParameterMap::IndexOf(181), -1);
    EXPECT_EQ(PluginParameterMap::Symbol(139), "p139");
    EXPECT_STREQ(PluginParameterMap::Section(121), "LFO 3");
    EXPECT_STREQ(PluginParameterMap::Section(177), "LFO 3");
    EXPECT_STREQ(PluginParameterMap::SectionName(PluginParameterMap::SectionIndex(171)), "Filter");
}

TEST(PluginInstanceTest, MoreMessagesInOneBlockThanTheQueueHoldsAreAllApplied)
{
    PluginInstance instance;
    ASSERT_EQ(instance.Activate(48000.0, 4096), kNoErr);
    instance.SetParameter(35, 0.05f); // Release: short
    // 48 notes on at frames 0..47, all off at frames 1000..1047: 96 messages in one block.
    Block block;
    for (std::uint8_t k = 0; k < 48; ++k)
        block.Add(k, 0x90, static_cast<std::uint8_t>(36 + k), 100);
    for (std::uint8_t k = 0; k < 48; ++k)
        block.Add(1000u + k, 0x80, static_cast<std::uint8_t>(36 + k), 0);
    std::vector<float> left;
    Render(instance, block, 48000, 4096, left);
    EXPECT_GT(Peak(std::vector<float>(left.begin(), left.begin() + 1000)), 0.0f);
    // Every note-off arrived: after the release everything is silent.
    EXPECT_EQ(Peak(std::vector<float>(left.begin() + 24000, left.end())), 0.0f);
}

TEST(PluginInstanceTest, MessagesWithoutAStatusByteAreSkipped)
{
    PluginInstance instance;
    ASSERT_EQ(instance.Activate(48000.0, 512), kNoErr);
    Block block;
    block.Add(0, 0x45, 100, 0); // a data byte where a status byte belongs
    std::vector<float> left;
    Render(instance, block, 4096, 512, left);
    EXPECT_EQ(Peak(left), 0.0f);
}

TEST(PluginInstanceTest, TheHostsSampleRateIsPassedOnAndChangesReinitialize)
{
    PluginInstance instance;
    for (double rate : {44100.0, 96000.0})
    {
        ASSERT_EQ(instance.Activate(rate, 512), kNoErr);
        Block block;
        block.Add(0, 0x90, 69, 100);
        std::vector<float> left;
        const auto frames = static_cast<std::uint32_t>(rate);
        Render(instance, block, frames, 512, left);
        EXPECT_NEAR(ZeroCrossingPitch(left, frames / 4, frames * 3 / 4, rate), 440.0, 2.0) << rate;
        block = {};
        block.Add(0, 0xB0, 120, 0); // all sound off before the next rate
        Render(instance, block, 512, 512, left);
    }
    EXPECT_NE(instance.Activate(10.0, 512), kNoErr); // not a usable rate: refused
}

TEST(PluginInstanceTest, ValueTextRoundTripsForEveryListedParameter)
{
    PluginInstance instance;
    for (std::uint32_t i = 0; i < PluginParameterMap::Count(); ++i)
    {
        const ParameterID id = PluginParameterMap::IdAt(i);
        const Tarn::ParamInfo& p = Tarn::astParamInfos[id];
        for (float v : {p.minValue, p.defaultValue, p.maxValue})
        {
            const std::string text = instance.FormatValue(id, v);
            float parsed = -12345.0f;
            ASSERT_TRUE(instance.ParseValue(id, text, parsed)) << id << " '" << text << "'";
            // Names that stand for several values ("Thru" at 0 and 4) parse to the first.
            if (id == 141 && text == "Thru")
                continue;
            EXPECT_NEAR(parsed, v, std::fabs(v) * 1e-3f + 1e-6f) << id << " '" << text << "'";
        }
    }
    EXPECT_EQ(instance.FormatValue(83, 2.0f), "2");
    EXPECT_EQ(instance.FormatValue(163, 50.0f), "50 %");
    float v = 0.0f;
    EXPECT_FALSE(instance.ParseValue(139, "12 parsecs", v));
    EXPECT_FALSE(instance.ParseValue(139, "", v));
}

TEST(PluginInstanceTest, OnlyTheInstrumentsOwnChangesAreCollected)
{
    PluginInstance instance;
    instance.SetParameter(139, 2000.0f); // the host's own change
    std::vector<std::uint32_t> taken;
    instance.Changes().TakeChanges([&](std::uint32_t id) { taken.push_back(id); });
    EXPECT_TRUE(taken.empty());

    // A change made elsewhere in the process (a script, OSC, another instance) on another
    // thread, through the notifying call.
    std::thread other(
        [&]
        {
            TW::AUParameterSet(nullptr, nullptr, {&instance.Synth(), 140, Scope::Global, 0}, 0.5f,
                               0);
            TW::AUParameterSet(nullptr, nullptr, {&instance.Synth(), 0, Scope::Global, 0}, 0.25f,
                               0);
        });
    other.join();
    ASSERT_TRUE(instance.Changes().HasChanges());
    instance.Changes().TakeChanges([&](std::uint32_t id) { taken.push_back(id); });
    EXPECT_EQ(taken, (std::vector<std::uint32_t>{0, 140}));
    EXPECT_FLOAT_EQ(instance.GetParameter(140), 0.5f);
    EXPECT_FALSE(instance.Changes().HasChanges());
}

TEST(PluginInstanceTest, StateTextRoundTripsAndDamagedTextIsRefused)
{
    const ClassInfoDictionary state = {
        {"version", std::int64_t{0}},
        {"subtype", std::int64_t{0x56654C75}},
        {"cpu-load", 0.125},
        {"name", std::string("Tab\tnew\nline \\ back")},
        {"data", std::vector<std::uint8_t>{0, 1, 0x7F, 0x80, 0xFF}},
    };
    const std::string text = EncodePluginState(state);
    ClassInfoDictionary back;
    std::string error;
    ASSERT_TRUE(DecodePluginState(text, back, error)) << error;
    EXPECT_EQ(back, state);

    ClassInfoDictionary untouched = {{"keep", std::int64_t{1}}};
    for (const std::string& bad :
         {std::string(), std::string("hello"), text.substr(0, text.size() / 2) + "\x01\x02"})
    {
        EXPECT_FALSE(DecodePluginState(bad, untouched, error)) << bad;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(untouched.size(), 1u);
    }

    PluginInstance instance;
    instance.SetParameter(139, 3000.0f);
    EXPECT_NE(instance.RestoreState("not a state"), kNoErr);
    EXPECT_FLOAT_EQ(instance.GetParameter(139), 3000.0f);
}

} // namespace
