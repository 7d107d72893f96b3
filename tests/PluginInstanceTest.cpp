// The part every plug-in adapter shares: MIDI at offsets under queue pressure, the host's
// sample rate, value text, the change listener and the saved-state text.
#include "hosts/AudioChecks.h"
#include "hosts/UserFolders.h"

#include "core/ParameterTable.h"
#include "core/TarnAdditiveSynth.h"
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

// Where the block renderer applied each queued item, in frames since the observer was set.
class ItemLog : public TarnRenderObserver
{
public:
    struct Item
    {
        std::uint64_t frame;
        std::uint8_t status, data1, data2;
        bool operator==(const Item&) const = default;
    };
    explicit ItemLog(TarnAdditiveSynth& synth) : m_synth(synth) { synth.SetRenderObserver(this); }
    ~ItemLog() override { m_synth.SetRenderObserver(nullptr); }
    void OnRenderSlice(unsigned frames) override { m_pos += frames; }
    void OnQueueItem(const MessageQueueItem& item) override
    {
        items.push_back({m_pos, static_cast<std::uint8_t>(item.m_status | item.m_channel),
                         item.m_data1, item.m_data2});
    }
    std::vector<Item> items;

private:
    TarnAdditiveSynth& m_synth;
    std::uint64_t m_pos = 0;
};

// 200 messages of one 1024-frame block, at frames 5 apart: 50 notes on, each ended 40 frames
// later, the pitch wheel and channel pressure.
Block TwoHundredMessages()
{
    const auto key = [](std::uint32_t note)
    { return static_cast<std::uint8_t>(28 + note * 13 % 71); };
    Block block;
    for (std::uint32_t i = 0; i < 200; ++i)
    {
        const std::uint32_t frame = 3 + 5 * i, note = i / 4;
        switch (i % 4)
        {
        case 0:
            block.Add(frame, 0x90, key(note), static_cast<std::uint8_t>(60 + i % 60));
            break;
        case 1:
            block.Add(frame, 0xE0, 0, static_cast<std::uint8_t>(40 + i % 48));
            break;
        case 2:
            block.Add(frame, 0x80, key(note >= 2 ? note - 2 : 99), 0);
            break;
        default:
            block.Add(frame, 0xD1, static_cast<std::uint8_t>(i % 128), 0);
            break;
        }
    }
    return block;
}

TEST(PluginInstanceTest, TwoHundredMessagesInOneBlockPlayAsIfEachHadABlockOfItsOwn)
{
    constexpr std::uint32_t kBlock = 1024, kTotal = 40 * kBlock;
    Block crowded = TwoHundredMessages();

    // The oracle: the same messages cut into blocks at their frames, one message at the start
    // of each, which never needs more than one queue slot.
    PluginInstance single;
    ASSERT_EQ(single.Activate(48000.0, kBlock), kNoErr);
    single.SetParameter(Tarn::kParamAttack, 0.002f);
    ItemLog singleLog(single.Synth());
    std::vector<float> expected, l(kBlock), r(kBlock);
    const PluginMidiMessage* m = crowded.Data();
    std::uint32_t start = 0;
    for (std::size_t i = 0; i <= crowded.messages.size(); ++i)
    {
        const std::uint32_t end = i < crowded.messages.size() ? m[i].frame : kBlock;
        if (end > start)
        {
            PluginMidiMessage first{};
            if (i > 0)
                first = {0, m[i - 1].size, m[i - 1].data};
            single.Process(&first, i > 0 ? 1 : 0, l.data(), r.data(), end - start);
            expected.insert(expected.end(), l.begin(), l.begin() + (end - start));
        }
        start = end;
    }
    while (expected.size() < kTotal)
    {
        single.Process(nullptr, 0, l.data(), r.data(), kBlock);
        expected.insert(expected.end(), l.begin(), l.end());
    }

    PluginInstance instance;
    ASSERT_EQ(instance.Activate(48000.0, kBlock), kNoErr);
    instance.SetParameter(Tarn::kParamAttack, 0.002f);
    ItemLog log(instance.Synth());
    std::vector<float> left;
    Render(instance, crowded, kTotal, kBlock, left);
    EXPECT_EQ(instance.LastRenderStatus(), kNoErr);
    EXPECT_EQ(instance.SampleTime(), static_cast<double>(kTotal));

    ASSERT_EQ(log.items.size(), 200u);
    EXPECT_EQ(log.items, singleLog.items);
    for (std::size_t i = 0; i < 200; ++i)
    {
        EXPECT_EQ(log.items[i].frame, crowded.messages[i].frame) << i;
        EXPECT_EQ(log.items[i].data1, crowded.bytes[i][1]) << i;
    }
    ASSERT_EQ(left.size(), expected.size());
    ASSERT_GT(Peak(expected), 0.01f);
    for (std::size_t i = 0; i < left.size(); ++i)
        ASSERT_EQ(left[i], expected[i]) << "first difference at frame " << i;
}

// More messages at one frame than the queue holds: the rest follow at the next frame, in
// order; past a block's last frame, at the start of the next block as far as the queue holds
// them, and the ones beyond are counted as lost. Data bytes arrive masked to 7 bits.
TEST(PluginInstanceTest, AFrameCrowdedBeyondTheQueueSpillsOntoTheNextFrames)
{
    PluginInstance instance;
    std::vector<float> l(512), r(512);
    instance.Process(nullptr, 0, l.data(), r.data(), 512);
    EXPECT_EQ(instance.LastRenderStatus(), kErrCannotDoInCurrentContext); // not yet activated
    ASSERT_EQ(instance.Activate(48000.0, 512), kNoErr);
    ItemLog log(instance.Synth());

    std::uint32_t sequence = 0;
    auto crowd = [&](Block& block, std::uint32_t frame, std::uint32_t n)
    {
        for (std::uint32_t k = 0; k < n; ++k, ++sequence)
            block.Add(frame, 0xA0, static_cast<std::uint8_t>(sequence & 0x7F),
                      static_cast<std::uint8_t>(0x80 | sequence >> 7));
    };
    Block first, second;
    crowd(first, 500, 100);
    crowd(first, 700, 100); // past the block: its last frame, 511
    crowd(second, 511, 140);
    instance.Process(first.Data(), 200, l.data(), r.data(), 512);
    instance.Process(second.Data(), 140, l.data(), r.data(), 512);
    instance.Process(nullptr, 0, l.data(), r.data(), 512);
    EXPECT_EQ(instance.LastRenderStatus(), kNoErr);

    const std::uint64_t expectedFrames[][2] = {{500, 63}, {501, 37},  {511, 63},
                                               {512, 37}, {1023, 63}, {1024, 63}};
    std::vector<std::uint64_t> expected;
    for (const auto& [frame, n] : expectedFrames)
        expected.insert(expected.end(), n, frame);
    ASSERT_EQ(log.items.size(), expected.size());
    EXPECT_EQ(instance.MessagesLost(), 340u - expected.size());
    for (std::size_t i = 0; i < log.items.size(); ++i)
    {
        EXPECT_EQ(log.items[i].frame, expected[i]) << i;
        EXPECT_EQ(log.items[i].data1 | log.items[i].data2 << 7, static_cast<int>(i)) << i;
    }
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
