// Listens to every factory preset through the instance: a four-note chord at velocity 100,
// held, then released. Each preset must sound (and not clip), be unlike the others, and do what
// its name promises: basses are low, bells ring away while held, pads and strings swell, the
// moving sounds move. And it plays them as a musician would try them: a C3-E3-G3-C4 chord,
// a held A4 and a fast run, at velocities 100 and 127, for level, clipping, onset spikes and
// jumps in level at note-off.
#include "support/SpectrumAnalysis.h"
#include "support/TestInstance.h"

#include "core/FactoryPresets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>

using namespace TarnTest;
using namespace Tarn;

namespace
{

constexpr double kRate = 48000.0;
constexpr std::size_t kHold = 120000;   // 2.5 s held
constexpr std::size_t kRelease = 96000; // 2 s after note-off
constexpr std::size_t kWindow = 2400;   // 50 ms level windows
constexpr std::size_t kFft = 4096;
const int kChord[4] = {60, 64, 67, 71};

struct Features
{
    double peak = 0.0;
    double maxRms = 0.0;
    double attack = 0.0;        // seconds until the level first reaches half its maximum
    double heldEnd = 0.0;       // level at the end of the hold over the maximum
    double releaseEnd = 0.0;    // level 1 s after note-off over the maximum
    double centroid[4] = {};    // Hz at 0.15, 0.6, 1.2 and 2.3 s
    double movement = 0.0;      // relative spread of level and centroid over 0.4..2.4 s
    double earlyMovement = 0.0; // tremolo depth over 0.05..0.9 s
    double lateMovement = 0.0;  // and over 1.4..2.4 s
    std::vector<double> shape;  // for telling presets apart
};

// How much the level and the brightness wander between two times (seconds), measured in 25 ms
// steps: the relative standard deviations of both, added. Tremolos of a few hertz and sweeps
// both count; a steady chord scores about 0.1 from the beating of its notes.
double Movement(const std::vector<float>& x, double from, double to)
{
    std::vector<double> level, brightness;
    for (auto at = static_cast<std::size_t>(from * kRate);
         at + 2048 <= static_cast<std::size_t>(to * kRate); at += 1200)
    {
        level.push_back(Rms(x, at, 1200));
        brightness.push_back(SpectralCentroid(MagnitudeSpectrum(x, at, 2048), kRate));
    }
    auto spread = [](const std::vector<double>& v)
    {
        double mean = 0.0, var = 0.0;
        for (double e : v)
            mean += e;
        mean /= static_cast<double>(v.size());
        for (double e : v)
            var += (e - mean) * (e - mean);
        return mean > 0.0 ? std::sqrt(var / static_cast<double>(v.size())) / mean : 0.0;
    };
    return spread(level) + spread(brightness);
}

// Tremolo depth between two times: the mean deviation of the level in 25 ms steps from its
// own 225 ms moving average. Slow envelopes and sweeps hardly count; wobbles of a few hertz do.
double Wobble(const std::vector<float>& x, double from, double to)
{
    std::vector<double> level;
    for (auto at = static_cast<std::size_t>(from * kRate);
         at + 1200 <= static_cast<std::size_t>(to * kRate); at += 1200)
        level.push_back(Rms(x, at, 1200));
    double sum = 0.0;
    int n = 0;
    for (std::size_t i = 4; i + 4 < level.size(); ++i, ++n)
    {
        double smooth = 0.0;
        for (std::size_t j = i - 4; j <= i + 4; ++j)
            smooth += level[j] / 9.0;
        sum += smooth > 0.0 ? std::fabs(level[i] / smooth - 1.0) : 0.0;
    }
    return n ? sum / n : 0.0;
}

Features Listen(int preset)
{
    TestInstance synth(kRate);
    EXPECT_EQ(synth->NewFactoryPresetSet(GetFactoryPresetList()[preset]), TW::kNoErr);
    for (int key : kChord)
        EXPECT_EQ(synth->HandleMidiEvent(0x90, 0, key, 100, 0), TW::kNoErr);
    synth.RenderFrames(kHold, 512);
    for (int key : kChord)
        EXPECT_EQ(synth->HandleMidiEvent(0x80, 0, key, 0, 0), TW::kNoErr);
    synth.RenderFrames(kRelease, 512);

    const std::vector<float>& left = synth.Left();
    Features f;
    f.peak = std::max(Peak(left), Peak(synth.Right()));
    std::vector<double> levels;
    for (std::size_t at = 0; at + kWindow <= kHold; at += kWindow)
        levels.push_back(Rms(left, at, kWindow));
    for (double l : levels)
        f.maxRms = std::max(f.maxRms, l);
    for (std::size_t i = 0; i < levels.size(); ++i)
        if (levels[i] >= 0.5 * f.maxRms)
        {
            f.attack = static_cast<double>(i * kWindow) / kRate;
            break;
        }
    if (f.maxRms > 0.0)
    {
        f.heldEnd = levels.back() / f.maxRms;
        f.releaseEnd = Rms(left, kHold + 48000 - kWindow, kWindow) / f.maxRms;
    }
    const double times[4] = {0.15, 0.6, 1.2, 2.3};
    for (int i = 0; i < 4; ++i)
        f.centroid[i] = SpectralCentroid(
            MagnitudeSpectrum(left, static_cast<std::size_t>(times[i] * kRate), kFft), kRate);

    f.movement = Movement(left, 0.4, 2.4);
    f.earlyMovement = Wobble(left, 0.05, 0.9);
    f.lateMovement = Wobble(left, 1.4, 2.4);

    // The shape: level (in dB) every 0.25 s through hold and release, brightness (in octaves)
    // at four times.
    for (std::size_t at = 0; at + kWindow <= kHold + kRelease; at += 12000)
        f.shape.push_back(20.0 * std::log10(Rms(left, at, kWindow) + 1e-6) / 6.0);
    for (double c : f.centroid)
        f.shape.push_back(std::log2(c + 20.0));
    f.shape.push_back(f.movement);
    return f;
}

// How a preset plays: levels in dBFS, peaks as sample values.
struct Playing
{
    double chordLevel = 0.0;  // dBFS RMS of the loudest 400 ms of a held C3-E3-G3-C4, velocity 100
    double chordPeak = 0.0;   // the same chord at velocity 127, held 2 s and released
    double runPeak = 0.0;     // sixteen notes C3..D5 at velocity 127, 60 ms apart
    double onsetSpike = 0.0;  // chord and held A4: peak of the first 4 ms over that of the next 46
    double releaseJump = 0.0; // dB, chord and A4: loudest 20 ms in the half second after note-off,
                              // re the loudest 20 ms in the half second before it
};

double Db(double x)
{
    return 20.0 * std::log10(x + 1e-9);
}

double LoudestRms(const std::vector<float>& x, std::size_t from, std::size_t to, std::size_t window)
{
    double loudest = 0.0;
    for (std::size_t at = from; at + window <= to; at += window / 4)
        loudest = std::max(loudest, Rms(x, at, window));
    return loudest;
}

double PeakOf(const std::vector<float>& x, std::size_t from, std::size_t to)
{
    double peak = 0.0;
    for (std::size_t i = from; i < to && i < x.size(); ++i)
        peak = std::max(peak, static_cast<double>(std::fabs(x[i])));
    return peak;
}

// A click at note-on: the first 4 ms much louder than what follows at once.
double OnsetSpike(const std::vector<float>& x)
{
    return PeakOf(x, 0, 192) / std::max(PeakOf(x, 192, 2400), 1e-9);
}

double ReleaseJump(const std::vector<float>& x, std::size_t noteOff)
{
    return Db(LoudestRms(x, noteOff, noteOff + 24000, 960)) -
           Db(LoudestRms(x, noteOff - 24000, noteOff, 960));
}

double StereoPeak(TestInstance& synth)
{
    return std::max(Peak(synth.Left()), Peak(synth.Right()));
}

Playing Play(int preset)
{
    const int chord[4] = {48, 52, 55, 60};
    Playing p;
    auto load = [&](TestInstance& synth)
    { EXPECT_EQ(synth->NewFactoryPresetSet(GetFactoryPresetList()[preset]), TW::kNoErr); };
    for (int velocity : {100, 127})
    {
        TestInstance synth(kRate);
        load(synth);
        for (int key : chord)
            synth->HandleMidiEvent(0x90, 0, key, static_cast<std::uint8_t>(velocity), 0);
        synth.RenderFrames(96000, 512);
        for (int key : chord)
            synth->HandleMidiEvent(0x80, 0, key, 0, 0);
        synth.RenderFrames(48000, 512);
        if (velocity == 100)
        {
            p.chordLevel = Db(std::max(LoudestRms(synth.Left(), 0, 96000, 19200),
                                       LoudestRms(synth.Right(), 0, 96000, 19200)));
            p.onsetSpike = OnsetSpike(synth.Left());
            p.releaseJump = ReleaseJump(synth.Left(), 96000);
        }
        else
            p.chordPeak = StereoPeak(synth);
    }
    {
        TestInstance synth(kRate);
        load(synth);
        const int scale[7] = {0, 2, 4, 5, 7, 9, 11};
        for (int i = 0; i < 16; ++i)
        {
            const int key = 48 + 12 * (i / 7) + scale[i % 7];
            synth->HandleMidiEvent(0x90, 0, key, 127, 0);
            synth.RenderFrames(2880, 480);
            synth->HandleMidiEvent(0x80, 0, key, 0, 0);
        }
        synth.RenderFrames(96000, 512);
        p.runPeak = StereoPeak(synth);
    }
    {
        TestInstance synth(kRate);
        load(synth);
        synth->HandleMidiEvent(0x90, 0, 69, 100, 0);
        synth.RenderFrames(72000, 480);
        synth->HandleMidiEvent(0x80, 0, 69, 0, 0);
        synth.RenderFrames(48000, 480);
        const std::vector<float>& x = synth.Left();
        p.onsetSpike = std::max(p.onsetSpike, OnsetSpike(x));
        p.releaseJump = std::max(p.releaseJump, ReleaseJump(x, 72000));
    }
    return p;
}

const std::vector<Playing>& AllPlaying()
{
    static const std::vector<Playing> all = []
    {
        std::vector<Playing> v;
        for (int p = 0; p < kNumFactoryPresets; ++p)
            v.push_back(Play(p));
        return v;
    }();
    return all;
}

const std::vector<Features>& AllFeatures()
{
    static const std::vector<Features> all = []
    {
        std::vector<Features> v;
        for (int p = 0; p < kNumFactoryPresets; ++p)
            v.push_back(Listen(p));
        return v;
    }();
    return all;
}

[[maybe_unused]] int Number(const char* name)
{
    const int n = FindFactoryPreset(name);
    EXPECT_GE(n, 0) << name;
    return n;
}

// The presets whose values are given as they are, not designed here.
[[maybe_unused]] bool IsGiven(int preset)
{
    return preset == 0 || preset == 1 || preset == 3 || preset == 6;
}

// The figures behind the checks, printed into the test log for whoever tunes the presets.
void PrintReport(const std::vector<Features>& all)
{
    std::printf("%-3s %-18s %6s %7s %6s %5s %5s %7s %7s %7s %7s %6s %6s %6s\n", "no", "name",
                "peak", "rms", "att", "held", "rel", "c0.15", "c0.6", "c1.2", "c2.3", "move",
                "early", "late");
    for (int p = 0; p < kNumFactoryPresets; ++p)
    {
        const Features& f = all[p];
        std::printf(
            "%-3d %-18s %6.3f %7.4f %6.3f %5.2f %5.2f %7.0f %7.0f %7.0f %7.0f %6.3f %6.3f %6.3f\n",
            p, GetFactoryPresetTable()[p].name, f.peak, f.maxRms, f.attack, f.heldEnd, f.releaseEnd,
            f.centroid[0], f.centroid[1], f.centroid[2], f.centroid[3], f.movement, f.earlyMovement,
            f.lateMovement);
    }
}

} // namespace

TEST(FactoryPresetSound, EverySoundsWithoutClipping)
{
    const auto& all = AllFeatures();
    PrintReport(all);
    for (int p = 0; p < kNumFactoryPresets; ++p)
    {
        const char* name = GetFactoryPresetTable()[p].name;
        EXPECT_GT(all[p].maxRms, 0.02) << name;
        EXPECT_TRUE(std::isfinite(all[p].peak)) << name;
        // The given presets keep their given values, "Volume" 1 included.
        if (!IsGiven(p))
        {
            EXPECT_LT(all[p].peak, 1.0) << name;
        }
    }
}

// Presets that are quiet or loud by nature, outside the common level window.
bool IsQuietByNature(const char* name)
{
    // Named for it: a soft ring-modulated texture meant to sit under other sounds.
    return std::string(name) == "KV QuietRingMod";
}

TEST(FactoryPresetSound, PlaysAtAMatchedLevelWithoutClipsSpikesOrReleaseJumps)
{
    const auto& all = AllPlaying();
    std::printf("%-3s %-18s %8s %8s %8s %7s %8s\n", "no", "name", "chord dB", "chord127", "run127",
                "onset", "release");
    for (int p = 0; p < kNumFactoryPresets; ++p)
    {
        const Playing& f = all[p];
        std::printf("%-3d %-18s %8.1f %8.3f %8.3f %7.2f %8.1f\n", p,
                    GetFactoryPresetTable()[p].name, f.chordLevel, f.chordPeak, f.runPeak,
                    f.onsetSpike, f.releaseJump);
    }
    for (int p = 0; p < kNumFactoryPresets; ++p)
    {
        if (IsGiven(p))
            continue;
        const char* name = GetFactoryPresetTable()[p].name;
        const Playing& f = all[p];
        if (IsQuietByNature(name))
        {
            EXPECT_LT(f.chordLevel, -21.0) << name;
            EXPECT_GT(f.chordLevel, -36.0) << name;
        }
        else
        {
            EXPECT_GE(f.chordLevel, -21.0) << name;
            EXPECT_LE(f.chordLevel, -15.0) << name;
        }
        EXPECT_LT(f.chordPeak, 1.0) << name;
        EXPECT_LT(f.runPeak, 1.0) << name;
        EXPECT_LT(f.onsetSpike, 1.3) << name;
        // None is meant to get louder at note-off ("Hollow Release" changes colour, the tails
        // of the stars and the wormhole fade). 1.5 dB leaves room for the swing of a tremolo.
        EXPECT_LT(f.releaseJump, 1.5) << name;
    }
}

TEST(FactoryPresetSound, PresetsSoundUnlikeEachOther)
{
    const auto& all = AllFeatures();
    for (int a = 0; a < kNumFactoryPresets; ++a)
        for (int b = a + 1; b < kNumFactoryPresets; ++b)
        {
            double d = 0.0;
            for (std::size_t i = 0; i < all[a].shape.size(); ++i)
                d += (all[a].shape[i] - all[b].shape[i]) * (all[a].shape[i] - all[b].shape[i]);
            EXPECT_GT(std::sqrt(d), 1.0)
                << GetFactoryPresetTable()[a].name << " / " << GetFactoryPresetTable()[b].name;
        }
}

TEST(FactoryPresetSound, SoundsDoWhatTheirNamesSay)
{
    const auto& all = AllFeatures();
    auto f = [&](const char* name) -> const Features& { return all[Number(name)]; };

    // Pads and strings swell in.
    for (const char* name : {"Simple Pad", "Shimmery", "PW Pad", "KV CrystalStrings", "KV Strings1",
                             "KV Strings2", "KV Wormhole", "KV Stars2"})
        EXPECT_GE(f(name).attack, 0.25) << name;
    // Struck sounds start at once and ring away while still held.
    for (const char* name :
         {"Clang", "KV Chimes 1", "KV Gamelan1", "KV Gamelan2", "Double Ring", "KV Keyboard1"})
    {
        EXPECT_LE(f(name).attack, 0.02) << name;
        EXPECT_LT(f(name).heldEnd, 0.3) << name;
    }
    // Basses are low (a C major seventh chord around middle C, so the plain sine is ~370 Hz).
    for (const char* name : {"Bassy Bass", "KV Bass1", "KV Bass2", "PW Dive"})
        EXPECT_LT(f(name).centroid[2], 350.0) << name;
    // Organs speak at once and hold.
    for (const char* name : {"KV SpaceOrgan", "KV SpaceOrgan2"})
    {
        EXPECT_LE(f(name).attack, 0.15) << name;
        EXPECT_GT(f(name).heldEnd, 0.85) << name;
    }
    // Moving sounds keep moving while held (a steady chord scores about 0.1).
    for (const char* name :
         {"Octaves", "Double Ring", "Shimmery", "Extreme PW", "Clang", "PW Pad",
          "Sinister Returner", "KV Chimes 1", "KV CrystalStrings", "KV Gamelan1", "KV Gamelan2",
          "KV SpaceChatter", "KV Wormhole", "KV SciFi1", "KV Stars1", "KV Stars2"})
        EXPECT_GT(f(name).movement, 0.24) << name;
    // A wobble that settles.
    EXPECT_GT(f("Wobbly Start").earlyMovement, 0.09);
    EXPECT_GT(f("Wobbly Start").earlyMovement, 1.8 * f("Wobbly Start").lateMovement);
    // A tail after note-off.
    for (const char* name : {"Hollow Release", "KV Wormhole", "KV Stars1", "KV Stars2"})
        EXPECT_GT(f(name).releaseEnd, 0.15) << name;
    EXPECT_LT(f("KV QuietRingMod").maxRms, 0.5 * f("KV SpaceOrgan").maxRms);
}

TEST(FactoryPresetSound, VelocityOpensTheVelocityFilter)
{
    auto brightness = [](int velocity)
    {
        TestInstance synth(kRate);
        EXPECT_EQ(synth->NewFactoryPresetSet(GetFactoryPresetList()[Number("Velocity Filter")]),
                  TW::kNoErr);
        EXPECT_EQ(synth->HandleMidiEvent(0x90, 0, 48, static_cast<std::uint8_t>(velocity), 0),
                  TW::kNoErr);
        synth.RenderFrames(24000, 512);
        return PowerShareAbove(MagnitudeSpectrum(synth.Left(), 12000, kFft), kRate, 1000.0);
    };
    EXPECT_GT(brightness(120), 4.0 * brightness(40));
}

TEST(FactoryPresetSound, HollowReleaseLosesItsEvenPartials)
{
    // One note: while held, partial 2 is strong; after note-off only odd partials remain.
    TestInstance synth(kRate);
    ASSERT_EQ(synth->NewFactoryPresetSet(GetFactoryPresetList()[Number("Hollow Release")]),
              TW::kNoErr);
    ASSERT_EQ(synth->HandleMidiEvent(0x90, 0, 57, 100, 0), TW::kNoErr); // 220 Hz
    synth.RenderFrames(48000, 512);
    ASSERT_EQ(synth->HandleMidiEvent(0x80, 0, 57, 0, 0), TW::kNoErr);
    synth.RenderFrames(24000, 512);
    auto ratio = [&](std::size_t at)
    {
        const std::vector<double> m = MagnitudeSpectrum(synth.Left(), at, 8192);
        auto bin = [&](double hz) { return m[static_cast<std::size_t>(hz * 8192 / kRate + 0.5)]; };
        return bin(440.0) / bin(220.0);
    };
    EXPECT_GT(ratio(30000), 0.3);
    EXPECT_LT(ratio(48000 + 9600), 0.05);
}

TEST(FactoryPresetSound, QuietRingModRingsAroundTheNote)
{
    // Ring modulation: sum and difference tones of the partials and a modulator near the note,
    // so most of the power lies between the harmonics of a held A4, and below its 4th harmonic.
    TestInstance synth(kRate);
    ASSERT_EQ(synth->NewFactoryPresetSet(GetFactoryPresetList()[Number("KV QuietRingMod")]),
              TW::kNoErr);
    ASSERT_EQ(synth->HandleMidiEvent(0x90, 0, 69, 100, 0), TW::kNoErr);
    synth.RenderFrames(72000, 512);
    const std::vector<double> m = MagnitudeSpectrum(synth.Left(), 48000, 16384);
    const double binHz = kRate / 16384;
    double between = 0.0, total = 0.0;
    for (std::size_t b = 1; b < m.size(); ++b)
    {
        const double hz = static_cast<double>(b) * binHz;
        const double power = m[b] * m[b];
        total += power;
        const double nearest = std::round(hz / 440.0) * 440.0;
        if (hz < 4 * 440.0 && std::fabs(hz - nearest) > 20.0)
            between += power;
    }
    ASSERT_GT(total, 0.0);
    EXPECT_GT(between / total, 0.6);
}
