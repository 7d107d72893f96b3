// The engine against an independent double-precision model of the same notes, envelopes,
// modulation, filter and effect, driven by identical note and parameter sequences, on every
// instruction-set path.
//
// Tolerance: |engine - model| <= 5e-5 x max(peak, 0.05) over a whole run. The model keeps every
// stored state in float too (see ReferenceSynth.h), so what remains is the polynomial sine
// (about 1e-7 per partial, 16 partials per voice), float rounding inside each sample (partial
// sums, bend division, filter products: a few 1e-7 relative, amplified by filter resonance up
// to 1/damping), the fused multiply-adds of the AVX2 path, and the float read position of the
// effect's taps (ulp 0.004 samples at a 48000-sample delay). Measured: at most 5e-6 of the peak
// for voices alone and 1.8e-5 with the effect, on every path; a stage ending one sample off, a
// wrong order of operations or a wrong coefficient is orders of magnitude above the bound.
#include "engine/TarnSynthEngine.h"
#include "support/EnginePatches.h"
#include "support/ReferenceSynth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using Tarn::EnginePath;
using TarnTest::SetByName;

namespace
{

class EnginePair
{
public:
    EnginePair(EnginePath path, double rate = 48000.0)
    {
        TarnTest::SetDefaults(m_params);
        m_engine = std::make_unique<Tarn::TarnSynthEngine>(m_params, m_display);
        m_engine->SetSampleRate(rate);
        m_engine->Reset();
        m_engine->SetPath(path);
        m_ref = std::make_unique<TarnTest::ReferenceSynth>(m_params, rate);
    }

    TW::ParameterElement& Params() { return m_params; }
    Tarn::TarnSynthEngine& Engine() { return *m_engine; }
    TarnTest::ReferenceSynth& Ref() { return *m_ref; }

    void Set(const char* name, float value) { SetByName(m_params, name, value); }
    void On(int key, int velocity)
    {
        const float v = static_cast<float>(velocity) * 0.007874016f;
        m_engine->HandleStartNote(key, v);
        m_ref->StartNote(key, v);
    }
    void Off(int key)
    {
        m_engine->HandleStopNote(key);
        m_ref->StopNote(key);
    }
    void Pedal(bool down)
    {
        m_engine->DoSustain(down);
        m_ref->Sustain(down);
    }
    void AllNotesOff()
    {
        m_engine->DoAllNotesOff();
        m_ref->AllNotesOff();
    }
    void AllSoundOff()
    {
        m_engine->AllSoundOff();
        m_ref->AllSoundOff();
    }
    void Bend(float factor)
    {
        m_engine->SetPitchBend(factor);
        m_ref->SetPitchBend(factor);
    }

    // Renders frames in slices cycling through awkward lengths, comparing as it goes.
    void Render(unsigned frames)
    {
        static const unsigned kSlices[] = {256, 1, 3, 127, 513, 64, 200};
        while (frames > 0)
        {
            const unsigned n = std::min(frames, kSlices[m_sliceIndex++ % 7]);
            Slice(n);
            frames -= n;
        }
    }

    void Slice(unsigned n)
    {
        std::vector<float> el(n), er(n), rl(n), rr(n);
        float* out[2] = {el.data(), er.data()};
        const bool engineSilent = m_engine->RenderPlayback(out, n);
        const bool refSilent = m_ref->Render(rl.data(), rr.data(), n);
        ASSERT_EQ(engineSilent, refSilent) << "at frame " << m_frame;
        ASSERT_EQ(m_engine->GetNumNotes(), m_ref->NumNotes()) << "at frame " << m_frame;
        for (int i = 0; i < m_engine->GetNumNotes(); ++i)
        {
            ASSERT_EQ(m_engine->GetNote(i).m_key, m_ref->KeyOf(i)) << "voice " << i;
            ASSERT_EQ(m_engine->GetNote(i).m_ampEnv.m_stage, m_ref->MainStage(i)) << "voice " << i;
        }
        EXPECT_NEAR(m_display.activity.load(), m_ref->Activity(),
                    1e-4 * std::max(1.0, m_ref->Activity()));
        for (unsigned i = 0; i < n; ++i)
        {
            m_peak = std::max({m_peak, std::fabs(double(rl[i])), std::fabs(double(rr[i]))});
            const double e =
                std::max(std::fabs(double(el[i]) - rl[i]), std::fabs(double(er[i]) - rr[i]));
            if (e > m_maxError)
            {
                m_maxError = e;
                m_worstFrame = m_frame + i;
            }
        }
        m_frame += n;
    }

    // The whole run against the stated tolerance; also demands that something was heard.
    void Check(double minPeak = 0.01)
    {
        EXPECT_GT(m_peak, minPeak);
        EXPECT_LE(m_maxError, 5e-5 * std::max(m_peak, 0.05))
            << "worst at frame " << m_worstFrame << ", peak " << m_peak;
    }

    double MaxError() const { return m_maxError; }

private:
    TW::ParameterElement m_params;
    Tarn::DisplayBlock m_display;
    std::unique_ptr<Tarn::TarnSynthEngine> m_engine;
    std::unique_ptr<TarnTest::ReferenceSynth> m_ref;
    unsigned m_sliceIndex = 0;
    std::size_t m_frame = 0, m_worstFrame = 0;
    double m_peak = 0, m_maxError = 0;
};

class EngineReference : public ::testing::TestWithParam<EnginePath>
{
protected:
    void SetUp() override
    {
        if (!Tarn::IsEnginePathSupported(GetParam()))
            GTEST_SKIP() << "processor lacks " << Tarn::EnginePathName(GetParam());
    }
};

TEST_P(EngineReference, ChordReleasedMidAttackAndAfterDecay)
{
    EnginePair p(GetParam());
    p.Set("Level 2", 0.5f);
    p.Set("Level 5", -0.3f);
    p.Set("Attack Shape", 0.4f);
    p.Set("Release Shape", 0.7f);
    p.Set("Release", 0.1f);
    p.On(60, 100);
    p.On(64, 64);
    p.Render(4000);
    p.Off(60); // mid-attack (attack is 0.5 s)
    p.On(67, 127);
    p.Render(30000);
    p.Off(64);
    p.Off(67);
    p.Render(8000);
    EXPECT_EQ(p.Engine().GetNumNotes(), 0);
    p.Check();
}

TEST_P(EngineReference, StealsRepeatedKeysPedalAndAllNotesOff)
{
    EnginePair p(GetParam());
    p.Set("Attack", 0.01f);
    p.Set("Decay", 0.05f);
    p.Set("Sustain", 0.5f);
    p.Set("Release", 0.02f);
    p.Set("Volume", 0.4f);
    // 32 notes at one velocity all reach the same sustain level: the 33rd steals record 0.
    for (int i = 0; i < 32; ++i)
    {
        p.On(30 + i, 100);
        p.Render(13);
    }
    p.Render(4000);
    p.On(100, 100);
    EXPECT_EQ(p.Engine().GetNote(0).m_key, 100);
    p.Render(500);
    // Different velocities and ages: each further note steals the quietest.
    for (int i = 0; i < 8; ++i)
    {
        p.Off(31 + 3 * i);
        p.On(101 + i, 20 + (i * 37) % 100);
        p.Render(37 + 11 * (i % 5));
    }
    EXPECT_EQ(p.Engine().GetNumNotes(), 32);
    p.On(40, 90); // repeated key: the earlier voice of key 40 releases
    p.Render(700);
    p.AllNotesOff();
    p.Render(3000);
    EXPECT_EQ(p.Engine().GetNumNotes(), 0);

    p.Pedal(true);
    p.On(50, 100);
    p.On(50, 80); // with the pedal down both voices of key 50 sound
    p.On(55, 100);
    p.Off(50);
    p.Render(1000);
    EXPECT_EQ(p.Engine().GetNumNotes(), 3);
    p.On(57, 70);
    p.AllNotesOff(); // only empties the held keys while the pedal is down
    p.Render(500);
    p.On(59, 90); // still held when the pedal goes up
    p.Pedal(false);
    p.Render(3000);
    EXPECT_EQ(p.Engine().GetNumNotes(), 1);
    p.AllSoundOff();
    p.Render(100);
    p.Check();
}

TEST_P(EngineReference, PitchWheelTuningAndSustainChangesMidNote)
{
    EnginePair p(GetParam());
    for (int k = 1; k <= 16; ++k)
        p.Set(("Level " + std::to_string(k)).c_str(), 1.0f / static_cast<float>(k));
    p.Set("Attack", 0.02f);
    p.On(69, 100);
    p.On(45, 60);
    p.Render(5000);
    p.Bend(1.12246f);
    p.Render(3000);
    p.Set("Coarse Tune", -7.0f);
    p.Set("Fine Tune", 33.0f);
    p.Render(3000);
    p.Set("Sustain", 0.2f); // held notes jump to the new sustain level at the next slice
    p.Bend(0.9f);
    p.Render(3000);
    p.Check();
}

TEST_P(EngineReference, PartialEnvelopesLfosAndPulseWidth)
{
    EnginePair p(GetParam());
    TarnTest::SetHeavyPatch(p.Params());
    p.Set("Modulation On/Off", 0.0f);
    p.Set("Filter Type", 0.0f);
    p.Set("Env 2 Time R2", 5.0f); // "Inf": envelope 2 holds after R1
    p.Set("PW Env Release", 5.0f);
    p.Set("LFO 2 Multiplier", 2.0f); // 300 Hz x 100 is capped at a quarter of the rate
    p.Set("Velocity PW Amount", 0.3f);
    p.Set("Velocity PW Env Amount", -0.5f);
    p.Set("Velocity Env Amount", 0.5f);
    p.On(48, 120);
    p.Render(1500);
    p.On(72, 40);
    p.Off(48); // partial envelopes released during their attack
    p.Render(9000);
    p.Set("Pulse Width", 0.0f);
    p.On(60, 100);
    p.Render(6000);
    p.Set("Pulse Width", 1.0f);
    p.Set("PW LFO Amount", 0.0f);
    p.Set("PW Env Amount", 0.0f);
    p.Render(3000);
    p.AllNotesOff();
    p.Render(20000);
    p.Check();
}

TEST_P(EngineReference, EveryFilterTypeWithEnvelopeTrackingAndLfo)
{
    for (float type : {0.0f, 1.0f, 1.5f, 2.0f, 2.7f, 3.0f, 4.0f})
    {
        SCOPED_TRACE(type);
        EnginePair p(GetParam());
        for (int k = 1; k <= 16; ++k)
            p.Set(("Level " + std::to_string(k)).c_str(), 0.5f);
        p.Set("Filter Type", type);
        p.Set("Filter Cutoff", 800.0f);
        p.Set("Filter Q", 0.7f);
        p.Set("Filter KB Track", 1.0f);
        p.Set("Velocity Filter Amount", 2.0f);
        p.Set("Filter Env Amount", -2.0f);
        p.Set("Filter Env Attack", 0.05f);
        p.Set("Filter Env Decay", 0.1f);
        p.Set("Velocity Filter Env Amount", 0.5f);
        p.Set("Filter LFO Speed", 5.0f);
        p.Set("Filter LFO Amount", 1.5f);
        p.Set("Filter LFO Type Amount", 0.6f);
        p.On(48, 90);
        p.On(84, 30);
        p.Render(6000);
        p.Set("Filter Cutoff", 12000.0f); // above the quarter-rate cap
        p.Render(2000);
        p.Check();
    }
}

TEST_P(EngineReference, ModulationEffectVoicesFeedbackAndTail)
{
    for (int voices = 1; voices <= 4; ++voices)
    {
        SCOPED_TRACE(voices);
        EnginePair p(GetParam());
        p.Set("Modulation On/Off", 1.0f);
        p.Set("Modulation Voices", static_cast<float>(voices));
        p.Set("Modulation Feedback", voices % 2 ? 99.0f : -60.0f);
        p.Set("Modulation Shape", voices == 3 ? 1.0f : 0.2f);
        p.Set("Modulation Rate", 3.0f);
        p.Set("Modulation Sweep", 8.0f);
        p.Set("Modulation Delay", voices == 4 ? 0.0f : 12.0f);
        p.Set("Modulation Wet/Dry", 70.0f);
        p.Set("Attack", 0.005f);
        p.Set("Release", 0.01f);
        p.On(57, 100);
        p.Render(3000);
        p.Off(57);
        p.Render(2000); // the tail through the feedback, with no voice
        p.Set("Modulation On/Off", 0.0f);
        p.Render(300); // off: silent, the ring keeps its contents
        p.Set("Modulation On/Off", 1.0f);
        p.Set("Modulation Delay", 30.0f); // a new ring length over the old contents
        p.Render(3000);
        p.Check();
    }
}

// Once the tail has died away the effect stops computing silence; its LFO and write position
// must still move on exactly, so a later note sounds as it would have.
TEST_P(EngineReference, EffectResumesInStepAfterItsTailDiedAway)
{
    EnginePair p(GetParam());
    p.Set("Modulation On/Off", 1.0f);
    p.Set("Modulation Voices", 3.0f);
    p.Set("Modulation Feedback", 30.0f);
    p.Set("Modulation Delay", 10.0f);
    p.Set("Modulation Sweep", 20.0f);
    p.Set("Modulation Rate", 1.3f);
    p.Set("Attack", 0.0f);
    p.Set("Release", 0.01f);
    p.On(64, 100);
    p.Render(4000);
    p.Off(64);
    p.Render(150000); // about 75 passes through the ring to underflow, then a whole ring of zeros
    p.On(52, 90);
    p.Render(20000);
    p.Check();
}

TEST_P(EngineReference, LongestDelayAtHighRateStaysInsideTheRing)
{
    // 480 ms at 96 kHz with a 50 ms sweep would need 50408 frames; the sweep narrows instead.
    EnginePair p(GetParam(), 96000.0);
    p.Set("Modulation On/Off", 1.0f);
    p.Set("Modulation Delay", 480.0f);
    p.Set("Modulation Sweep", 50.0f);
    p.Set("Modulation Feedback", 50.0f);
    p.Set("Modulation Rate", 20.0f);
    p.Set("Attack", 0.0f);
    p.On(60, 100);
    p.Render(60000);
    p.Check();
}

INSTANTIATE_TEST_SUITE_P(Paths, EngineReference,
                         ::testing::Values(EnginePath::Scalar, EnginePath::Sse2, EnginePath::Avx2,
                                           EnginePath::Avx512),
                         [](const auto& info) { return Tarn::EnginePathName(info.param); });

} // namespace
