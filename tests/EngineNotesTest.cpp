// Envelope segments, note bookkeeping, coefficient caps, the effect's geometry, and the engine's
// behaviour with parameter values outside their ranges (the store does not clamp).
#include "engine/PolySineSse.h"
#include "engine/TarnSynthEngine.h"
#include "support/EnginePatches.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>
#include <xmmintrin.h>

using Tarn::Note;
using TarnTest::SetByName;

namespace
{

struct Engine
{
    explicit Engine(double rate = 48000.0)
    {
        TarnTest::SetDefaults(params);
        engine = std::make_unique<Tarn::TarnSynthEngine>(params, display);
        engine->SetSampleRate(rate);
        engine->Reset();
    }
    void Set(const char* name, float v) { SetByName(params, name, v); }
    bool Render(unsigned frames)
    {
        left.assign(frames, 0.0f);
        right.assign(frames, 0.0f);
        float* out[2] = {left.data(), right.data()};
        return engine->RenderPlayback(out, frames);
    }
    Tarn::TarnSynthEngine* operator->() { return engine.get(); }

    TW::ParameterElement params;
    Tarn::DisplayBlock display;
    std::unique_ptr<Tarn::TarnSynthEngine> engine;
    std::vector<float> left, right;
};

// Steps a stage k times as the renderer does and returns the level.
float Step(const Note::Stage& stage, float from, unsigned k)
{
    float level = from, slope = stage.m_slope;
    for (unsigned i = 0; i < k; ++i)
    {
        level += slope;
        slope += stage.m_curve;
    }
    return level;
}

TEST(PolySine, AccurateAndTheVectorFoldMatchesTheScalarBitForBit)
{
    double worst = 0;
    for (int i = 0; i < 16 * 4096; ++i)
    {
        // Every 1/4096 of a cycle up to the 16th harmonic, plus points just off the fold edges.
        for (float x : {float(i) / 4096.0f, std::nextafter(float(i) / 4096.0f, 20.0f)})
        {
            const float s = Tarn::PolySine(x);
            alignas(16) float v[4];
            _mm_store_ps(v, Tarn::PolySine4(_mm_set1_ps(x)));
            ASSERT_EQ(v[0], s) << "x = " << x;
            worst = std::max(worst, std::fabs(s - std::sin(2 * M_PI * double(x))));
        }
    }
    EXPECT_LT(worst, 5e-7);
}

TEST(EnvelopeStage, ShapesFollowTheirCurvesAndReachTheTarget)
{
    Note::Stage s;
    s.Setup(0.01f, 0.0f, 0.0f, 1.0f, 10000.0f); // 100 samples, rising, most curved: x^2
    EXPECT_EQ(s.m_count, 100u);
    EXPECT_NEAR(Step(s, 0.0f, 50), 0.25f, 1e-5);
    EXPECT_NEAR(Step(s, 0.0f, 100), 1.0f, 1e-5);

    s.Setup(0.01f, 0.0f, 1.0f, 0.0f, 10000.0f); // falling: 1 - (2x - x^2)
    EXPECT_NEAR(Step(s, 1.0f, 50), 0.25f, 1e-5);
    EXPECT_NEAR(Step(s, 1.0f, 100), 0.0f, 1e-5);

    s.Setup(0.01f, 1.0f, 0.2f, 0.6f, 10000.0f); // shape 1: a straight line
    EXPECT_NEAR(Step(s, 0.2f, 25), 0.3f, 1e-6);

    s.Setup(0.0f, 0.5f, 0.0f, 0.8f, 48000.0f); // time 0: exactly one sample
    EXPECT_EQ(s.m_count, 1u);
    EXPECT_NEAR(Step(s, 0.0f, 1), 0.8f, 1e-6);

    s.Setup(0.00105f, 1.0f, 0.0f, 1.0f, 10000.0f); // 10.5 samples: the count truncates
    EXPECT_EQ(s.m_count, 10u);
    EXPECT_NEAR(Step(s, 0.0f, 10), 10.0f / 10.5f, 1e-5);
}

TEST(EnvelopeStage, OutOfRangeTimesGiveFiniteCounts)
{
    Note::Stage s;
    s.Setup(std::nanf(""), 0.0f, 0.0f, 1.0f, 48000.0f);
    EXPECT_EQ(s.m_count, 1u);
    s.Setup(-3.0f, 0.0f, 0.0f, 1.0f, 48000.0f);
    EXPECT_EQ(s.m_count, 1u);
    s.Setup(1e30f, 0.0f, 0.0f, 1.0f, 48000.0f);
    EXPECT_EQ(s.m_count, Note::Stage::kHold - 1); // ends eventually; never the hold marker
}

TEST(EngineNotes, VelocityEnvAmountScalesThePeak)
{
    for (float amount : {1.0f, -1.0f, 0.0f})
    {
        SCOPED_TRACE(amount);
        Engine e;
        e.Set("Velocity Env Amount", amount);
        e.Set("Attack", 0.0f);
        e->HandleStartNote(60, 1.0f);
        e->HandleStartNote(62, 0.25f);
        e.Render(1);
        const float peaks[3][2] = {{1.0f, 0.25f}, {0.0f, 0.75f}, {1.0f, 1.0f}};
        const int row = amount > 0 ? 0 : (amount < 0 ? 1 : 2);
        EXPECT_NEAR(e->GetNote(0).m_ampEnv.m_level, peaks[row][0], 1e-6);
        EXPECT_NEAR(e->GetNote(1).m_ampEnv.m_level, peaks[row][1], 1e-6);
    }
}

TEST(EngineNotes, PartialEnvelopeReleasedAboveSustainEndsOffsetAndInfHolds)
{
    Engine e;
    e.Set("Env 1 Level A1", 1.0f); // one-sample A1 to 1, A2 holds 1, A3 to 0.5 over 1000
    e.Set("Env 1 Time A3", 1000.0f / 48000.0f);
    e.Set("Env 1 Sustain", 0.5f);
    e.Set("Env 1 Level R1", 0.8f);
    e.Set("Env 1 Time R1", 0.001f);
    e.Set("Env 1 Time R2", 0.001f);
    e.Set("Env 2 Level A1", 1.0f);
    e.Set("Env 2 Sustain", 0.5f);
    e.Set("Env 2 Level R1", 0.3f);
    e.Set("Env 2 Time R2", 5.0f); // "Inf"
    e.Set("PW Env Release", 5.0f);
    e->HandleStartNote(60, 1.0f);
    e.Render(2);                                               // A1 and A2 done, A3 not begun
    const float level = e->GetNote(0).m_partialEnv[0].m_level; // 1, above the sustain
    EXPECT_NEAR(level, 1.0f, 1e-5);
    const float pw = e->GetNote(0).m_pwEnv.m_level;
    e->HandleStopNote(60);
    e.Render(2000);
    // R1 moves by Level R1 - Sustain and R2 by -Level R1: it ends at L - Sustain, not 0.
    EXPECT_NEAR(e->GetNote(0).m_partialEnv[0].m_level, level - 0.5f, 1e-4);
    EXPECT_EQ(e->GetNote(0).m_partialEnv[1].m_stage, 1);
    // Envelope 2 (also released at 1): R1 moved it by 0.3 - 0.5, and "Inf" R2 holds there.
    EXPECT_NEAR(e->GetNote(0).m_partialEnv[1].m_level, 0.8f, 1e-5);
    EXPECT_NEAR(e->GetNote(0).m_pwEnv.m_level, pw, 1e-7);
}

TEST(EngineNotes, HeldKeysNeverOverflowWithOutOfRangeKeys)
{
    Engine e;
    for (int key = -100; key < 200; ++key)
        e->HandleStartNote(key, 0.5f);
    EXPECT_LE(e->GetNumHeldKeys(), 128);
    EXPECT_EQ(e->GetNumNotes(), 32);
    e.Render(64);
    EXPECT_GT(e.display.activity.load(), 0.0f);
    e->AllSoundOff();
    EXPECT_EQ(e->GetNumNotes(), 0);
    EXPECT_EQ(e->GetNumHeldKeys(), 0);
    EXPECT_FALSE(e->GetSustainPedal());
    EXPECT_TRUE(e.Render(64));
    EXPECT_EQ(e.display.activity.load(), 0.0f);
}

TEST(EngineNotes, LfoAndFilterCoefficientsAreCappedAtAQuarterOfTheRate)
{
    {
        Engine e(32000.0);
        e.Set("LFO 1 Speed", 100.0f);
        e.Set("LFO 1 Multiplier", 2.0f); // 10 kHz asked, 8 kHz allowed
        e.Set("LFO 2 Speed", 100.0f);
        e.Set("LFO 2 Multiplier", 1.0f); // 1 kHz
        e->HandleStartNote(60, 1.0f);
        e.Render(1);
        EXPECT_NEAR(e->GetNote(0).m_lfoCoeff[1], std::sqrt(2.0f), 1e-6);
        EXPECT_NEAR(e->GetNote(0).m_lfoCoeff[2], 2 * std::sin(M_PI * 1000 / 32000), 1e-6);
        EXPECT_NEAR(e->GetNote(0).m_lfoCoeff[0], 2 * std::sin(M_PI * 1 / 32000), 1e-8);
    }
    {
        Engine e(44100.0);
        e.Set("Filter Cutoff", 12000.0f);
        e->HandleStartNote(60, 1.0f);
        e.Render(1);
        EXPECT_NEAR(e->GetNote(0).m_filterF, std::sqrt(2.0f), 1e-6);
    }
    {
        Engine e(48000.0);
        e.Set("Filter KB Track", 1.0f); // 1000 Hz at key 60: 2000 Hz at 72, 500 Hz at 48
        e->HandleStartNote(72, 1.0f);
        e->HandleStartNote(48, 1.0f);
        e.Render(1);
        EXPECT_NEAR(e->GetNote(0).m_filterF, 2 * std::sin(M_PI * 2000 / 48000), 1e-6);
        EXPECT_NEAR(e->GetNote(1).m_filterF, 2 * std::sin(M_PI * 500 / 48000), 1e-6);
    }
}

TEST(ModulationGeometry, DelaysSweepAndCap)
{
    using Effect = Tarn::TarnModulationEffect;
    Effect::Settings s{50, 10, 1, 0.2f, 0, 0.5f, 2, 0};
    Effect::Geometry g = Effect::ComputeGeometry(s, 48000.0f);
    EXPECT_NEAR(g.minDelay, 480.0f, 1e-3);
    EXPECT_NEAR(g.centre, 504.0f, 1e-3);
    EXPECT_NEAR(g.depth, 24.0f, 1e-3);
    EXPECT_EQ(g.ringFrames, static_cast<int>(g.centre + g.depth) + 8);

    s.delayMs = 0; // two samples at least
    EXPECT_FLOAT_EQ(Effect::ComputeGeometry(s, 48000.0f).minDelay, 2.0f);
    s.sweepMs = 0; // a fixed delay
    EXPECT_FLOAT_EQ(Effect::ComputeGeometry(s, 48000.0f).depth, 0.0f);

    s = {50, 500, 50, 0.2f, 0, 0.5f, 2, 0}; // 500 ms above 96 kHz: capped, no sweep
    g = Effect::ComputeGeometry(s, 192000.0f);
    EXPECT_FLOAT_EQ(g.centre, 48000.0f);
    EXPECT_FLOAT_EQ(g.depth, 0.0f);

    // Every combination stays inside the 48016-frame ring, out-of-range values included.
    for (float rate : {44100.0f, 96000.0f, 192000.0f})
        for (float delay : {0.0f, 100.0f, 460.0f, 480.0f, 500.0f, -5.0f, std::nanf("")})
            for (float sweep : {0.0f, 50.0f, -50.0f, 1e9f, std::nanf("")})
            {
                s.delayMs = delay;
                s.sweepMs = sweep;
                g = Effect::ComputeGeometry(s, rate);
                EXPECT_LE(g.ringFrames, Tarn::kModMaxDelayFrames + 8) << delay << " " << sweep;
                EXPECT_GE(g.centre - g.depth, 2.0f);
            }
}

TEST(EngineRobustness, OutOfRangeParametersNeitherHangNorCrash)
{
    Engine e;
    e.Set("Attack", 1e30f);
    e.Set("Decay", std::nanf(""));
    e.Set("Release", -1.0f);
    e.Set("Filter LFO Speed", 1e30f);
    e.Set("LFO 1 Multiplier", 1e9f);
    e.Set("Env Select 1", 7.0f);
    e.Set("Env Select 2", -3.0f);
    e.Set("Level 2", 1.0f);
    e.Set("Filter Cutoff", -5000.0f);
    e.Set("Modulation On/Off", 1.0f);
    e.Set("Modulation Sweep", -50.0f);
    e.Set("Modulation Voices", 17.0f);
    e->HandleStartNote(60, 1.0f);
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(e.Render(97));
    const float phase = e->GetFilterLfoPhase();
    EXPECT_TRUE(phase >= 0.0f && phase < 6.2832f) << phase;
    e->HandleStopNote(60);
    e.Render(64);
}

TEST(EngineRobustness, FlushesDenormalsInsideRenderAndRestoresTheMode)
{
    Engine e;
    e->HandleStartNote(60, 1.0f);
    const unsigned before = _mm_getcsr();
    _mm_setcsr(before & ~0x8040u);
    e.Render(256);
    EXPECT_EQ(_mm_getcsr() & 0x8040u, 0u);
    _mm_setcsr(before | 0x8040u);
    e.Render(256);
    EXPECT_EQ(_mm_getcsr() & 0x8040u, 0x8040u);
    _mm_setcsr(before);
}

TEST(EngineRobustness, ResetKeepsVoicesAndClearsSharedState)
{
    Engine e;
    e.Set("Modulation On/Off", 1.0f);
    e->HandleStartNote(60, 1.0f);
    e->SetPitchBend(1.5f);
    e->DoSustain(true);
    e.Render(300);
    ASSERT_NE(e->GetFilterLfoPhase(), 0.0f);
    e->Reset();
    EXPECT_EQ(e->GetNumNotes(), 1);
    EXPECT_TRUE(e->GetSustainPedal());
    EXPECT_EQ(e->GetPitchBend(), 1.0f);
    EXPECT_EQ(e->GetFilterLfoPhase(), 0.0f);
    EXPECT_EQ(e->GetModulationEffect().GetWritePos(), 0);
    EXPECT_EQ(e->GetModulationEffect().GetLfoPhase(), 0.0f);
}

} // namespace
