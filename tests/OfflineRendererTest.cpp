#include "app/OfflineRenderer.h"

#include "core/FactoryPresets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace
{

// Where the block renderer applied each queued event, in frames from the start of the render,
// and the value of one parameter at the start of every slice.
class Recorder : public TarnRenderObserver
{
public:
    struct Item
    {
        std::uint64_t frame;
        std::uint32_t kind;
        std::uint8_t status, data1, data2;
        float watched; // the watched parameter when the item was handled
    };
    struct Slice
    {
        std::uint64_t start;
        unsigned frames;
        float watched;
    };

    Recorder(TarnAdditiveSynth& synth, TW::ParameterID watched) : m_synth(synth), m_watched(watched)
    {
        synth.SetRenderObserver(this);
    }
    ~Recorder() override { m_synth.SetRenderObserver(nullptr); }

    void OnRenderSlice(unsigned frames) override
    {
        slices.push_back({m_pos, frames, m_synth.Globals().Value(m_watched)});
        m_pos += frames;
    }
    void OnQueueItem(const TW::MessageQueueItem& item) override
    {
        items.push_back({m_pos, item.m_kind,
                         static_cast<std::uint8_t>(item.m_status | item.m_channel), item.m_data1,
                         item.m_data2, m_synth.Globals().Value(m_watched)});
    }

    std::vector<Item> items;
    std::vector<Slice> slices;

private:
    TarnAdditiveSynth& m_synth;
    TW::ParameterID m_watched;
    std::uint64_t m_pos = 0;
};

constexpr TW::ParameterID kAttack = 33;

struct Rendered
{
    std::vector<Recorder::Item> items;
    std::vector<Recorder::Slice> slices;
    std::vector<float> left, right;
    std::uint64_t blocks = 0;
};

Rendered RenderScoreWith(const RenderScore& score, std::uint64_t totalFrames, std::uint32_t block)
{
    TW::PluginInstance instance;
    EXPECT_EQ(instance.Activate(48000.0, 0), TW::kNoErr);
    Recorder recorder(instance.Synth(), kAttack);
    Rendered run;
    OfflineRenderer renderer(instance, block);
    std::string error;
    const bool ok = renderer.Render(
        score, totalFrames,
        [&](const float* l, const float* r, std::uint32_t n)
        {
            EXPECT_GE(n, 1u);
            EXPECT_LE(n, block);
            run.left.insert(run.left.end(), l, l + n);
            run.right.insert(run.right.end(), r, r + n);
            return true;
        },
        error);
    EXPECT_TRUE(ok) << error;
    run.items = recorder.items;
    run.slices = recorder.slices;
    run.blocks = renderer.BlocksRendered();
    return run;
}

const std::uint32_t kBlockSizes[] = {1, 64, 256, 1000, 4096};

} // namespace

// Each event is applied at frame floor(t × rate + 0.5) of the render, in order, whatever the
// block size; events at or after the end are not delivered; all frames are rendered.
TEST(OfflineRendererTest, EventsLandOnTheirFrameForEveryBlockSize)
{
    const double times[] = {0.0,  0.49 / 48000, 0.5 / 48000, 0.0104,    0.02,
                            0.02, 0.1,          0.25,        1.0 / 3.0, 0.5};
    const std::uint64_t expected[] = {0, 0, 1, 499, 960, 960, 4800, 12000, 16000};
    RenderScore score;
    for (int i = 0; i < 10; ++i)
        score.AddMidi(RenderScore::FrameAt(times[i], 48000.0), 0x90 | (i % 16),
                      static_cast<std::uint8_t>(i), 100);
    score.Finish();
    for (std::uint32_t block : kBlockSizes)
    {
        const Rendered run = RenderScoreWith(score, 24000, block);
        ASSERT_EQ(run.items.size(), 9u) << "block " << block; // the event at 0.5 s is the end
        for (int i = 0; i < 9; ++i)
        {
            EXPECT_EQ(run.items[i].frame, expected[i]) << "block " << block << " event " << i;
            EXPECT_EQ(run.items[i].data1, i);
            EXPECT_EQ(run.items[i].status, 0x90 | i); // the channel survives
        }
        EXPECT_EQ(run.left.size(), 24000u);
        std::uint64_t sliced = 0;
        for (const auto& s : run.slices)
            sliced += s.frames;
        EXPECT_EQ(sliced, 24000u);
    }
}

// More events in one block than the queue holds: the block is cut so none is lost, and a
// crowd at one frame spreads over the following frames the same way for every block size.
TEST(OfflineRendererTest, CrowdedBlocksLoseNothing)
{
    RenderScore score;
    for (int c = 0; c < 16; ++c)
        for (int cc = 0; cc < 8; ++cc)
            score.AddMidi(0, static_cast<std::uint8_t>(0xB0 | c), static_cast<std::uint8_t>(cc), 0);
    for (int i = 0; i < 150; ++i)
        score.AddMidi(500 + i / 2, 0x90, static_cast<std::uint8_t>(i % 128), 1);
    score.Finish();
    std::vector<std::uint64_t> reference;
    for (std::uint32_t block : kBlockSizes)
    {
        const Rendered run = RenderScoreWith(score, 1200, block);
        ASSERT_EQ(run.items.size(), 278u) << "block " << block;
        std::vector<std::uint64_t> frames;
        for (const auto& item : run.items)
            frames.push_back(item.frame);
        EXPECT_EQ(std::count(frames.begin(), frames.end(), 0u), 63);
        EXPECT_EQ(std::count(frames.begin(), frames.end(), 1u), 63);
        EXPECT_EQ(std::count(frames.begin(), frames.end(), 2u), 2);
        EXPECT_EQ(frames[128], 500u);
        EXPECT_EQ(frames[277], 574u);
        EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
        if (reference.empty())
            reference = frames;
        EXPECT_EQ(frames, reference) << "block " << block;
    }
}

// A system-exclusive block (queued without a frame offset), a factory preset and a parameter
// change all take effect at their frame; presets and parameter changes precede the MIDI of
// their frame, in the order given.
TEST(OfflineRendererTest, SysExAndParametersAtTheirFrame)
{
    const std::uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    RenderScore score;
    score.AddMidi(300, 0x90, 1, 1);
    score.AddSysEx(300, sysex, sizeof sysex);
    score.AddMidi(300, 0x90, 2, 1);
    score.AddSysEx(301, sysex, sizeof sysex);
    const int pad = Tarn::FindFactoryPreset("Simple Pad"); // "Attack" 1.125
    ASSERT_GT(pad, 0);
    score.AddPreset(500, static_cast<std::uint32_t>(pad));
    score.AddMidi(700, 0x90, 3, 1);
    score.AddPreset(700, 0); // "Defaults": "Attack" 0.5, then the change below
    score.AddParameter(700, kAttack, 1.25f);
    score.Finish();
    for (std::uint32_t block : kBlockSizes)
    {
        const Rendered run = RenderScoreWith(score, 1000, block);
        ASSERT_EQ(run.items.size(), 5u);
        EXPECT_EQ(run.items[0].data1, 1);
        EXPECT_EQ(run.items[1].kind, TW::MessageQueueItem::kSysEx);
        EXPECT_EQ(run.items[1].frame, 300u) << "block " << block;
        EXPECT_EQ(run.items[2].data1, 2);
        EXPECT_EQ(run.items[3].kind, TW::MessageQueueItem::kSysEx);
        EXPECT_EQ(run.items[3].frame, 301u) << "block " << block;
        EXPECT_EQ(run.items[4].frame, 700u);
        EXPECT_EQ(run.items[4].watched, 1.25f) << "block " << block;
        for (const auto& s : run.slices)
        {
            const float expected = s.start < 500 ? 0.5f : s.start < 700 ? 1.125f : 1.25f;
            EXPECT_EQ(s.watched, expected) << "slice at " << s.start << ", block " << block;
            EXPECT_TRUE(s.start >= 700 || s.start + s.frames <= 700) << "slice crosses 700";
            EXPECT_TRUE(s.start >= 500 || s.start + s.frames <= 500) << "slice crosses 500";
        }
    }
}

// Continued and escaped system-exclusive blocks of a MIDI file (its F7 form) carry their bytes
// alone: they reach the instance as system-exclusive blocks even when they start with a data
// byte, or with what would be a note-on.
TEST(OfflineRendererTest, EscapedSysExBlocksStaySysEx)
{
    const std::uint8_t noteLike[] = {0x90, 60, 100};
    const std::uint8_t continued[] = {0x01, 0x02, 0xF7};
    RenderScore score;
    score.AddSysEx(100, noteLike, sizeof noteLike);
    score.AddSysEx(200, continued, sizeof continued);
    score.Finish();
    const Rendered run = RenderScoreWith(score, 4800, 256);
    ASSERT_EQ(run.items.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
    {
        EXPECT_EQ(run.items[i].kind, TW::MessageQueueItem::kSysEx) << i;
        EXPECT_EQ(run.items[i].frame, 100u * (i + 1)) << i;
    }
    EXPECT_EQ(*std::max_element(run.left.begin(), run.left.end()), 0.0f); // no note
}

// The audio does not depend on the block size beyond float rounding: chords, the pedal, the
// pitch wheel and note-offs landing inside blocks of every size. The modulation effect takes
// its LFO afresh at the start of every chunk of a slice, so with it on the blocks leave a trace
// far below the signal (about -50 dB here); a lost note would not.
TEST(OfflineRendererTest, AudioIndependentOfBlockSize)
{
    for (const bool effect : {false, true})
    {
        RenderScore score;
        const double rate = 48000.0;
        auto at = [&](double t) { return RenderScore::FrameAt(t, rate); };
        score.AddParameter(0, 162, effect ? 1.0f : 0.0f); // "Modulation On/Off"
        for (int key : {48, 55, 64, 71})
            score.AddMidi(at(0.0013), 0x90, static_cast<std::uint8_t>(key), 90);
        score.AddMidi(at(0.05), 0xB0, 64, 127);
        for (int key : {48, 55, 64, 71})
            score.AddMidi(at(0.2017), 0x80, static_cast<std::uint8_t>(key), 0);
        for (int i = 0; i <= 20; ++i)
            score.AddMidi(at(0.21 + i * 0.0071), 0xE0, 0, static_cast<std::uint8_t>(64 + i));
        score.AddMidi(at(0.3), 0x90, 76, 120);
        score.AddMidi(at(0.41), 0xB0, 64, 0);
        score.AddMidi(at(0.52), 0x80, 76, 0);
        score.Finish();

        const Rendered reference = RenderScoreWith(score, at(0.8), 256);
        float peak = 0.0f;
        for (float v : reference.left)
            peak = std::max(peak, std::fabs(v));
        ASSERT_GT(peak, 0.01f) << "the notes must sound";
        const float tolerance = (effect ? 1e-2f : 1e-5f) * peak;
        for (std::uint32_t block : {64u, 1000u, 1u})
        {
            const Rendered run = RenderScoreWith(score, at(0.8), block);
            ASSERT_EQ(run.left.size(), reference.left.size());
            float worst = 0.0f;
            for (std::size_t i = 0; i < run.left.size(); ++i)
                worst = std::max({worst, std::fabs(run.left[i] - reference.left[i]),
                                  std::fabs(run.right[i] - reference.right[i])});
            EXPECT_LE(worst, tolerance)
                << "block " << block << ", peak " << peak << ", effect " << effect;
        }
    }
}

// Slots taken by another writer (notes over OSC) do not make the score's events fail: a group
// that finds the queue full waits for the block that empties it, still at its own frame.
TEST(OfflineRendererTest, QueueFilledByAnotherWriter)
{
    TW::PluginInstance instance;
    ASSERT_EQ(instance.Activate(48000.0, 0), TW::kNoErr);
    Recorder recorder(instance.Synth(), kAttack);
    for (int i = 0; i < 63; ++i)
        ASSERT_EQ(instance.Synth().MidiEvent(0xB0, 1, 0, 0), TW::kNoErr);
    RenderScore score;
    score.AddMidi(10, 0x90, 60, 100);
    score.AddMidi(10, 0x80, 60, 0);
    score.Finish();
    OfflineRenderer renderer(instance, 256);
    std::string error;
    ASSERT_TRUE(renderer.Render(
        score, 256, [](const float*, const float*, std::uint32_t) { return true; }, error))
        << error;
    ASSERT_EQ(recorder.items.size(), 65u);
    EXPECT_EQ(recorder.items[62].frame, 0u);
    EXPECT_EQ(recorder.items[63].frame, 10u);
    EXPECT_EQ(recorder.items[63].status, 0x90);
    EXPECT_EQ(recorder.items[64].frame, 10u);
}
