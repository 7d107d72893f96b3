// Physical properties of the rendered sound, through a whole instance and its host entry: pitch,
// attack shape, onset frames, volume law, low-pass attenuation, stereo from the effect, and the
// silence flag.
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using TarnTest::TestInstance;

namespace
{

constexpr double kRate = 48000.0;

enum : std::uint32_t
{
    kVolume = 0,
    kLevel1 = 1,
    kLevel16 = 16,
    kAttack = 33,
    kAttackShape = 36,
    kSustain = 40,
    kFilterCutoff = 139,
    kFilterType = 141,
    kCoarseTune = 160,
    kModOn = 162,
    kModVoices = 169,
};

// Frequency from the rising zero crossings of a segment, interpolated between samples.
double MeasureFrequency(const std::vector<float>& x, std::size_t from, std::size_t to)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if (x[i - 1] < 0 && x[i] >= 0)
        {
            const double t = double(i - 1) + x[i - 1] / double(x[i - 1] - x[i]);
            if (first < 0)
                first = t;
            last = t;
            ++crossings;
        }
    return crossings > 1 ? (crossings - 1) * kRate / (last - first) : 0.0;
}

// Amplitude of the component at hz (Goertzel over whole periods of the window).
double Amplitude(const std::vector<float>& x, std::size_t from, std::size_t n, double hz)
{
    double re = 0, im = 0;
    for (std::size_t i = 0; i < n; ++i)
    {
        const double a = 2 * M_PI * hz * double(i) / kRate;
        re += x[from + i] * std::cos(a);
        im += x[from + i] * std::sin(a);
    }
    return 2 * std::hypot(re, im) / double(n);
}

double Peak(const std::vector<float>& x, std::size_t from, std::size_t to)
{
    double p = 0;
    for (std::size_t i = from; i < to; ++i)
        p = std::max(p, std::fabs(double(x[i])));
    return p;
}

TEST(EnginePhysics, PitchFollowsKeyTuningAndWheel)
{
    TestInstance synth(kRate);
    synth->MidiEvent(0x90, 69, 100, 0);
    synth.RenderFrames(48000);
    EXPECT_NEAR(MeasureFrequency(synth.Left(), 24000, 48000), 440.0, 0.01);

    synth.Set(kCoarseTune, 12.0f); // an octave is a frequency ratio of 2
    synth.ClearAudio();
    synth.RenderFrames(24000);
    EXPECT_NEAR(MeasureFrequency(synth.Left(), 1000, 24000), 880.0, 0.02);

    synth.Set(kCoarseTune, 0.0f);
    synth->MidiEvent(0xE0, 0x7F, 0x7F, 0); // wheel fully up, range 2 semitones
    synth.ClearAudio();
    synth.RenderFrames(24000);
    const double expected = 440.0 * std::pow(2.0, (2.0 * 8191.0 / 8192.0) / 12.0);
    EXPECT_NEAR(MeasureFrequency(synth.Left(), 1000, 24000), expected, 0.02);
}

TEST(EnginePhysics, AttackShapeZeroIsQuadraticAndOneIsLinear)
{
    for (float shape : {0.0f, 1.0f})
    {
        SCOPED_TRACE(shape);
        TestInstance synth(kRate);
        synth.Set(kAttack, 0.2f); // 9600 samples
        synth.Set(kAttackShape, shape);
        synth->MidiEvent(0x90, 105, 127, 0); // about 3520 Hz: a peak every 14 samples
        synth.RenderFrames(9600);
        for (double x : {0.25, 0.5, 0.75})
        {
            const auto centre = static_cast<std::size_t>(x * 9600);
            const double level = Peak(synth.Left(), centre - 7, centre + 7);
            const double expected = shape == 0.0f ? x * x : x;
            EXPECT_NEAR(level, expected, 0.02 * expected + 0.002) << "at x = " << x;
        }
    }
}

TEST(EnginePhysics, NoteStartsAtItsExactFrameFromZero)
{
    for (std::uint32_t offset : {0u, 1u, 100u, 511u})
    {
        SCOPED_TRACE(offset);
        TestInstance synth(kRate);
        synth.Set(kAttack, 0.0f);
        synth->MidiEvent(0x90, 60, 127, offset);
        synth.Render(512);
        synth.Render(512);
        const auto& l = synth.Left();
        for (std::uint32_t i = 0; i <= offset; ++i)
            ASSERT_EQ(l[i], 0.0f) << "frame " << i; // at the onset every partial is at phase 0
        EXPECT_NE(l[offset + 1], 0.0f);
    }
}

TEST(EnginePhysics, VolumeEntersAsItsCube)
{
    std::vector<float> out[2];
    for (int run = 0; run < 2; ++run)
    {
        TestInstance synth(kRate);
        synth.Set(kVolume, run == 0 ? 1.0f : 0.5f);
        synth.Set(kAttack, 0.01f);
        synth->MidiEvent(0x90, 64, 90, 0);
        synth.RenderFrames(4000);
        out[run] = synth.Left();
    }
    double peak = Peak(out[0], 0, 4000);
    ASSERT_GT(peak, 0.1);
    for (std::size_t i = 0; i < 4000; ++i)
        ASSERT_NEAR(out[1][i], 0.125 * out[0][i], 1e-6 * peak) << "frame " << i;
}

TEST(EnginePhysics, LowPassAttenuatesHighPartials)
{
    double fundamental[2], sixteenth[2];
    for (int filtered = 0; filtered < 2; ++filtered)
    {
        TestInstance synth(kRate);
        synth.Set(kLevel16, 1.0f);
        synth.Set(kAttack, 0.0f);
        synth.Set(kSustain, 1.0f);
        synth.Set(kFilterCutoff, 400.0f);
        synth.Set(kFilterType, filtered ? 1.0f : 0.0f);
        synth->MidiEvent(0x90, 57, 127, 0); // 220 Hz; partial 16 at 3520 Hz
        synth.RenderFrames(24000);
        // 0.2 s from frame 4800: whole periods of both components.
        fundamental[filtered] = Amplitude(synth.Left(), 4800, 9600, 220.0);
        sixteenth[filtered] = Amplitude(synth.Left(), 4800, 9600, 3520.0);
    }
    EXPECT_NEAR(fundamental[0], 1.0, 0.01);
    EXPECT_NEAR(sixteenth[0], 1.0, 0.01);
    EXPECT_GT(fundamental[1], 0.5);
    // Two poles, three octaves above the cutoff: more than 30 dB down.
    EXPECT_LT(sixteenth[1], sixteenth[0] * 0.0316);
}

TEST(EnginePhysics, EffectMakesStereoWithTwoVoicesAndMonoWithOne)
{
    for (float voices : {1.0f, 2.0f})
    {
        SCOPED_TRACE(voices);
        TestInstance synth(kRate);
        synth.Set(kModOn, 1.0f);
        synth.Set(kModVoices, voices);
        synth->MidiEvent(0x90, 60, 100, 0);
        synth.RenderFrames(9600);
        double difference = 0;
        for (std::size_t i = 0; i < 9600; ++i)
            difference =
                std::max(difference, std::fabs(double(synth.Left()[i] - synth.Right()[i])));
        if (voices == 1.0f)
            EXPECT_EQ(difference, 0.0);
        else
            EXPECT_GT(difference, 0.01);
    }
}

TEST(EnginePhysics, SilenceFlagFollowsVoicesAndEffect)
{
    TestInstance synth(kRate);
    bool silent = false;
    ASSERT_EQ(synth.Render(256, &silent), TW::kNoErr);
    EXPECT_TRUE(silent);

    synth->MidiEvent(0x90, 60, 100, 100);
    synth.Render(256, &silent);
    EXPECT_FALSE(silent);
    synth->MidiEvent(0xB0, 120, 0, 0); // all sound off
    synth.Render(256, &silent);
    EXPECT_TRUE(silent);

    synth.Set(kModOn, 1.0f); // the effect's tail runs even with no voice
    synth.Render(256, &silent);
    EXPECT_FALSE(silent);
    synth.Set(kModOn, 0.0f);
    synth.Render(256, &silent);
    EXPECT_TRUE(silent);
    for (float v : synth.Left())
        ASSERT_TRUE(std::isfinite(v));
}

} // namespace
