#include "TarnSynthEngine.h"

#include "PolySine.h"

#include "core/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <xmmintrin.h>

namespace Tarn
{

namespace
{

constexpr float kTwoPi = 6.2831855f;
constexpr double kPi = 3.14159265358979323846;
constexpr unsigned kFlushDenormals = 0x8040; // MXCSR flush-to-zero | denormals-are-zero
constexpr unsigned kRoundingBits = 0x6000;   // MXCSR rounding control; 0 is to nearest

// The envelopes of a note in kernel order, with their stage numbers and records.
struct EnvelopeRefs
{
    std::int32_t* stage[kNumVoiceEnvelopes];
    Note::Stage* stages[kNumVoiceEnvelopes];

    explicit EnvelopeRefs(Note& n) noexcept
        : stage{&n.m_ampEnv.m_stage,        &n.m_partialEnv[0].m_stage, &n.m_partialEnv[1].m_stage,
                &n.m_partialEnv[2].m_stage, &n.m_pwEnv.m_stage,         &n.m_filterEnv.m_stage},
          stages{n.m_ampEnv.m_stages,        n.m_partialEnv[0].m_stages, n.m_partialEnv[1].m_stages,
                 n.m_partialEnv[2].m_stages, n.m_pwEnv.m_stages,         n.m_filterEnv.m_stages}
    {
    }
};

// Partials fade out over the top tenth below half the sample rate (in cycles per sample).
constexpr float kBandLimit = 0.5f;
constexpr float kBandFade = 0.05f;

inline bool IsFinite(float x) noexcept
{
    return x - x == 0.0f;
}

// LFO n (0..3 for LFO 1..4) sits in vector lane (n + 1) % 4: lanes are LFO 4, 1, 2, 3.
inline int LfoLane(int lfo) noexcept
{
    return (lfo + 1) & 3;
}

} // namespace

TarnSynthEngine::TarnSynthEngine(const TW::ParameterElement& params, DisplayBlock& display) noexcept
    : m_params(params), m_display(display), m_path(DefaultEnginePath()),
      m_kernel(KernelForPath(m_path))
{
    m_effect.Reset();
}

float TarnSynthEngine::P(std::uint32_t id) const noexcept
{
    const float v = m_params.Value(id);
    if (id >= kNumParams)
        return IsFinite(v) ? v : 0.0f;
    const ParamInfo& row = astParamInfos[id];
    if (v >= row.minValue && v <= row.maxValue)
        return v;
    if (v != v)
        return row.defaultValue;
    return v < row.minValue ? row.minValue : row.maxValue;
}

void TarnSynthEngine::SetSampleRate(double hz) noexcept
{
    if (hz > 0.0 && std::isfinite(hz))
        m_sampleRate = static_cast<float>(hz);
}

double TarnSynthEngine::GetSampleRate() const noexcept
{
    return m_sampleRate;
}

void TarnSynthEngine::Reset() noexcept
{
    m_filterLfoPhase = 0.0f;
    m_pitchBend = 1.0f;
    m_effect.Reset();
}

void TarnSynthEngine::SetPath(EnginePath path) noexcept
{
    if (!IsEnginePathSupported(path))
        return;
    m_path = path;
    m_kernel = KernelForPath(path);
}

float TarnSynthEngine::VelocityFactor(float amount, float velocity) noexcept
{
    return 1.0f - std::max(amount, 0.0f) + amount * velocity;
}

bool TarnSynthEngine::IsHeld(int key) const noexcept
{
    const auto k = static_cast<std::int8_t>(key);
    for (int i = 0; i < m_numHeldKeys; ++i)
        if (m_heldKeys[i] == k)
            return true;
    return false;
}

int TarnSynthEngine::HandleStartNote(int key, float velocity) noexcept
{
    for (int i = 0; i < m_numNotes; ++i)
        if (m_notes[i].m_key == key)
            HandleStopNote(key);

    // Keys outside 0..127 are stored as signed bytes; the list never grows past its 128 slots.
    if (!IsHeld(key) && m_numHeldKeys < 128)
        m_heldKeys[m_numHeldKeys++] = static_cast<std::int8_t>(key);

    int index;
    if (m_numNotes < kNumVoices)
        index = m_numNotes++;
    else
    {
        // Steal the quietest record; among equal levels the lowest index.
        index = 0;
        float minimum = 1000000.0f;
        for (int i = 0; i < kNumVoices; ++i)
            if (m_notes[i].m_ampEnv.m_level < minimum)
            {
                minimum = m_notes[i].m_ampEnv.m_level;
                index = i;
            }
    }

    Note& n = m_notes[index];
    const float R = m_sampleRate;
    n.m_key = key;
    n.m_velocity = velocity;

    const float g = VelocityFactor(P(kParamVelocityEnvAmount), velocity);
    n.m_ampEnv.m_stage = 4;
    n.m_ampEnv.m_sustainStage = 2;
    n.m_ampEnv.m_level = 0.0f;
    n.m_ampEnv.m_sustainScale = g;
    n.m_ampEnv.m_stages[4].Setup(P(kParamAttack), P(kParamAttackShape), 0.0f, g, R);
    n.m_ampEnv.m_stages[3].Setup(P(kParamDecay), P(kParamDecayShape), g, P(kParamSustain) * g, R);

    for (int e = 0; e < 3; ++e)
    {
        const std::uint32_t shift = kParamEnvStride * static_cast<std::uint32_t>(e);
        auto& env = n.m_partialEnv[e];
        env.m_stage = 6;
        env.m_sustainStage = 3;
        env.m_level = 0.0f;
        env.m_sustainScale = 1.0f;
        const float levelA1 = P(kParamEnv1LevelA1 + shift);
        const float levelA2 = P(kParamEnv1LevelA2 + shift);
        env.m_stages[6].Setup(P(kParamEnv1TimeA1 + shift), P(kParamEnv1ShapeA1 + shift), 0.0f,
                              levelA1, R);
        env.m_stages[5].Setup(P(kParamEnv1TimeA2 + shift), P(kParamEnv1ShapeA2 + shift), levelA1,
                              levelA2, R);
        env.m_stages[4].Setup(P(kParamEnv1TimeA3 + shift), P(kParamEnv1ShapeA3 + shift), levelA2,
                              P(kParamEnv1Sustain + shift), R);
    }

    // Pulse-width and filter envelopes: straight attack and decay.
    auto linearEnvelope = [&](Note::Envelope<Note::kAmpStages>& env, float scale, float attack,
                              float decay, float sustain)
    {
        env.m_stage = 4;
        env.m_sustainStage = 2;
        env.m_level = 0.0f;
        env.m_sustainScale = scale;
        const float na = std::max(attack * R, 1.0f);
        const float nd = std::max(decay * R, 1.0f);
        env.m_stages[4].SetupLinear(scale / na, na);
        env.m_stages[3].SetupLinear((sustain * scale - scale) / nd, nd);
    };
    linearEnvelope(n.m_pwEnv, VelocityFactor(P(kParamVelocityPWEnvAmount), velocity),
                   P(kParamPWEnvAttack), P(kParamPWEnvDecay), P(kParamPWEnvSustain));
    linearEnvelope(n.m_filterEnv, VelocityFactor(P(kParamVelocityFilterEnvAmount), velocity),
                   P(kParamFilterEnvAttack), P(kParamFilterEnvDecay), P(kParamFilterEnvSustain));

    n.m_phase = 0.0f;
    n.m_phaseInc =
        static_cast<float>(440.0 * std::exp2((key - 69) / 12.0) / static_cast<double>(R));
    for (int j = 0; j < 4; ++j)
    {
        n.m_lfoSin[j] = 0.0f;
        n.m_lfoCos[j] = 1.0f;
    }
    n.m_pwLfoSin = 0.0f;
    n.m_pwLfoCos = 1.0f;
    n.m_filterLow = n.m_filterHigh = n.m_filterBand = 0.0f;
    return 0;
}

void TarnSynthEngine::ReleaseNote(Note& n) noexcept
{
    const float R = m_sampleRate;
    n.m_ampEnv.m_stage = 1;
    n.m_ampEnv.m_stages[1].Setup(P(kParamRelease), P(kParamReleaseShape), n.m_ampEnv.m_level, 0.0f,
                                 R);

    for (int e = 0; e < 3; ++e)
    {
        const std::uint32_t shift = kParamEnvStride * static_cast<std::uint32_t>(e);
        auto& env = n.m_partialEnv[e];
        env.m_stage = 2;
        const float level = env.m_level;
        const float sustain = P(kParamEnv1Sustain + shift);
        const float levelR1 = P(kParamEnv1LevelR1 + shift);
        // Released before reaching the sustain level: release proportionally from there.
        const float j = (sustain > 0.001f && sustain > level) ? level / sustain : 1.0f;
        env.m_stages[2].Setup(P(kParamEnv1TimeR1 + shift), P(kParamEnv1ShapeR1 + shift),
                              sustain * j, levelR1 * j, R);
        const float timeR2 = P(kParamEnv1TimeR2 + shift);
        if (timeR2 == 5.0f) // "Inf": stay at the R1 end level
            env.m_stages[1].SetHold();
        else
            env.m_stages[1].Setup(timeR2, P(kParamEnv1ShapeR2 + shift), levelR1 * j, 0.0f, R);
    }

    auto linearRelease = [&](Note::Envelope<Note::kAmpStages>& env, float release)
    {
        env.m_stage = 1;
        if (release == 5.0f) // "Inf": the level freezes
        {
            env.m_stages[1].SetHold();
            return;
        }
        const float samples = std::max(release * R, 1.0f);
        env.m_stages[1].SetupLinear(-(env.m_level / samples), samples);
        env.m_stages[1].m_curve = -0.0f;
    };
    linearRelease(n.m_pwEnv, P(kParamPWEnvRelease));
    linearRelease(n.m_filterEnv, P(kParamFilterEnvRelease));
}

int TarnSynthEngine::HandleStopNote(int key) noexcept
{
    const auto k = static_cast<std::int8_t>(key);
    for (int i = 0; i < m_numHeldKeys; ++i)
        if (m_heldKeys[i] == k)
        {
            m_heldKeys[i] = m_heldKeys[--m_numHeldKeys];
            break;
        }
    if (m_sustainPedal)
        return 0;
    for (int i = 0; i < m_numNotes; ++i)
    {
        Note& n = m_notes[i];
        if (n.m_key == key && n.m_ampEnv.m_stage >= n.m_ampEnv.m_sustainStage)
        {
            ReleaseNote(n);
            break;
        }
    }
    return 0;
}

void TarnSynthEngine::DoAllNotesOff() noexcept
{
    for (int i = 0; i < m_numNotes; ++i)
        HandleStopNote(m_notes[i].m_key);
}

void TarnSynthEngine::DoSustain(bool down) noexcept
{
    if (down == m_sustainPedal)
        return;
    m_sustainPedal = down;
    if (down)
        return;
    for (int i = 0; i < m_numNotes; ++i)
        if (!IsHeld(m_notes[i].m_key))
            HandleStopNote(m_notes[i].m_key);
}

void TarnSynthEngine::AllSoundOff() noexcept
{
    m_numNotes = 0;
    m_numHeldKeys = 0;
    m_sustainPedal = false;
}

void TarnSynthEngine::SetPitchBend(float factor) noexcept
{
    // The wheel gives 2^(semitones / 12) for at most a few octaves; anything else is refused.
    if (factor > 0.0f && IsFinite(factor))
        m_pitchBend = factor;
}

void TarnSynthEngine::PrepareSlice(VoiceSliceConstants& c, unsigned frames) noexcept
{
    const float R = m_sampleRate;
    const float semitones = P(kParamCoarseTune) + P(kParamFineTune) * 0.01f;
    const float tuning = static_cast<float>(std::exp2(static_cast<double>(semitones) / 12.0));
    c.pitchFactor = tuning * m_pitchBend;

    const float volume = P(kParamVolume);
    const float volume3 = volume * volume * volume;
    for (int k = 0; k < kNumPartials; ++k)
    {
        c.partialGain[k] = P(kParamLevel1 + static_cast<std::uint32_t>(k)) * volume3;
        const float sel = P(kParamEnvSelect1 + static_cast<std::uint32_t>(k));
        // Out-of-range selectors (possible through the unclamped store) pick the nearest choice.
        c.envChoice[k] = sel >= 3.0f ? 3 : (sel >= 1.0f ? static_cast<int>(sel) : 0);
    }
    // Partials with no gain add nothing and are skipped by the vector loops.
    for (int g = 0; g < 4; ++g)
        c.groupSize[g] = 0;
    for (int k = 0; k < kNumPartials; ++k)
        if (c.partialGain[k] != 0.0f)
        {
            const int g = c.envChoice[k];
            c.groupPartials[g][c.groupSize[g]++] = k;
        }

    for (int lfo = 0; lfo < 4; ++lfo)
    {
        const std::uint32_t shift = kParamLFOStride * static_cast<std::uint32_t>(lfo);
        c.lfoOffset[LfoLane(lfo)] = P(kParamLFO1Offset + shift);
        c.lfoAmount[LfoLane(lfo)] = P(kParamLFO1Amount + shift);
    }

    c.pwLfoAmount = P(kParamPWLFOAmount);
    c.pwEnvAmount = P(kParamPWEnvAmount);
    c.pwLfoCoeff = 2.0f * std::sin(3.14159265f * P(kParamPWLFOSpeed) / R);

    AdvanceFilterLfo(frames);
    const float l = std::sin(m_filterLfoPhase);

    const float t = P(kParamFilterType) + l * P(kParamFilterLFOTypeAmount);
    if (t < 1.0f)
    {
        c.aThru = 1.0f - t;
        c.aLow = t;
        c.aBand = c.aHigh = 0.0f;
    }
    else if (t < 2.0f)
    {
        c.aThru = c.aHigh = 0.0f;
        c.aLow = 2.0f - t;
        c.aBand = t - 1.0f;
    }
    else if (t < 3.0f)
    {
        c.aThru = c.aLow = 0.0f;
        c.aBand = 3.0f - t;
        c.aHigh = t - 2.0f;
    }
    else
    {
        c.aLow = c.aBand = 0.0f;
        c.aThru = t - 3.0f;
        c.aHigh = 4.0f - t;
    }

    const double g = std::exp2(static_cast<double>(P(kParamFilterLFOAmount)) * l +
                               std::log2(1.0 + 0.016 * static_cast<double>(P(kParamFilterCutoff))));
    double fc = 62.5 * (g - 1.0);
    if (!(fc > 0.0))
        fc = 0.0;
    m_filterW0 = kPi * fc / static_cast<double>(R);
    m_filterQ0 =
        std::fmin(2.0, 2.0 * (1.0 - std::pow(static_cast<double>(P(kParamFilterQ)), 0.25)));
}

void TarnSynthEngine::AdvanceFilterLfo(unsigned frames) noexcept
{
    // The filter LFO is sampled once per slice and shared by all notes.
    m_filterLfoPhase +=
        static_cast<float>(frames) * kTwoPi * P(kParamFilterLFOSpeed) / m_sampleRate;
    if (!std::isfinite(m_filterLfoPhase))
        m_filterLfoPhase = 0.0f;
    if (m_filterLfoPhase >= 2.0f * kTwoPi || m_filterLfoPhase < 0.0f)
    {
        m_filterLfoPhase = std::fmod(m_filterLfoPhase, kTwoPi);
        if (m_filterLfoPhase < 0.0f)
            m_filterLfoPhase += kTwoPi;
    }
    while (m_filterLfoPhase >= kTwoPi)
        m_filterLfoPhase -= kTwoPi;
}

void TarnSynthEngine::PrepareNote(Note& n, double semitones, float pitchFactor) noexcept
{
    const float R = m_sampleRate;
    n.m_octaves = ((n.m_key - 60) + semitones) / 12.0;

    // Sustain refresh: held envelopes follow their sustain parameters at once.
    if (n.m_ampEnv.m_stage == n.m_ampEnv.m_sustainStage)
        n.m_ampEnv.m_level = P(kParamSustain) * n.m_ampEnv.m_sustainScale;
    for (int e = 0; e < 3; ++e)
    {
        auto& env = n.m_partialEnv[e];
        if (env.m_stage == env.m_sustainStage)
            env.m_level = P(kParamEnv1Sustain + kParamEnvStride * static_cast<std::uint32_t>(e)) *
                          env.m_sustainScale;
    }
    if (n.m_pwEnv.m_stage == n.m_pwEnv.m_sustainStage)
        n.m_pwEnv.m_level = P(kParamPWEnvSustain) * n.m_pwEnv.m_sustainScale;
    if (n.m_filterEnv.m_stage == n.m_filterEnv.m_sustainStage)
        n.m_filterEnv.m_level = P(kParamFilterEnvSustain) * n.m_filterEnv.m_sustainScale;

    // LFO rotation coefficients, capped at a quarter of the sample rate.
    for (int lfo = 0; lfo < 4; ++lfo)
    {
        const std::uint32_t shift = kParamLFOStride * static_cast<std::uint32_t>(lfo);
        const std::uint32_t kbShift = kParamLFOKBStride * static_cast<std::uint32_t>(lfo);
        float multiplier = 1.0f;
        float m = P(kParamLFO1Multiplier + kbShift);
        for (int i = 0; m > 0.0f && i < 40; ++i)
        {
            multiplier *= 10.0f;
            m -= 1.0f;
        }
        const double rate =
            static_cast<double>(P(kParamLFO1Speed + shift) * multiplier) *
            std::exp2(static_cast<double>(P(kParamLFO1KBTrack + kbShift)) * n.m_octaves);
        const float x = std::min(static_cast<float>(rate * 0.5 / static_cast<double>(R)), 0.125f);
        n.m_lfoCoeff[LfoLane(lfo)] = 2.0f * PolySine(x);
    }

    n.m_pwConst = P(kParamPulseWidth) + P(kParamVelocityPWAmount) * n.m_velocity;

    // Band limit: partial k at or above half the sample rate is not a harmonic of the note, it
    // would fold back; it fades out over the top tenth below that.
    const float inc = n.m_phaseInc * pitchFactor;
    n.m_bandTop = 0;
    for (int k = 0; k < kNumPartials; ++k)
    {
        const float x = static_cast<float>(k + 1) * inc;
        float gain = 0.0f;
        if (x < kBandLimit - kBandFade)
            gain = 1.0f;
        else if (x < kBandLimit)
            gain = (kBandLimit - x) * (1.0f / kBandFade);
        n.m_bandGain[k] = gain;
        if (gain > 0.0f)
            n.m_bandTop = k + 1;
    }

    const double k = static_cast<double>(P(kParamFilterKBTrack)) * n.m_octaves +
                     static_cast<double>(P(kParamVelocityFilterAmount)) * n.m_velocity;
    const double quarter = kPi / 4.0;
    const double f1 = 2.0 * std::sin(std::fmin(std::exp2(k) * m_filterW0, quarter));
    const double f2 =
        2.0 *
        std::sin(std::fmin(
            std::exp2(k + static_cast<double>(P(kParamFilterEnvAmount))) * m_filterW0, quarter));
    n.m_filterF = static_cast<float>(f1);
    n.m_filterFRange = static_cast<float>(f2 - f1);
    double damping = m_filterQ0;
    if (f1 > 0.0)
        damping = std::fmin(damping, 2.0 / f1 - f1 / 2.0);
    if (f2 > 0.0)
        damping = std::fmin(damping, 2.0 / f2 - f2 / 2.0);
    n.m_filterDamping = static_cast<float>(damping);
}

void TarnSynthEngine::RenderGroup(Note* const* notes, int count, const VoiceSliceConstants& c,
                                  float* out, unsigned frames) noexcept
{
    Note::Stage* current[kMaxGroupNotes][kNumVoiceEnvelopes];
    while (frames > 0)
    {
        // The segment ends where the first stage of any envelope of any note of the group ends.
        unsigned segment = frames;
        for (int v = 0; v < count; ++v)
        {
            EnvelopeRefs env(*notes[v]);
            for (int e = 0; e < kNumVoiceEnvelopes; ++e)
            {
                const std::uint32_t left = env.stages[e][*env.stage[e]].m_count;
                if (left != Note::Stage::kHold && left != 0 && left < segment)
                    segment = left;
            }
        }
        for (int v = 0; v < count; ++v)
        {
            EnvelopeRefs env(*notes[v]);
            for (int e = 0; e < kNumVoiceEnvelopes; ++e)
            {
                Note::Stage& s = env.stages[e][*env.stage[e]];
                current[v][e] = &s;
                if (s.m_count == Note::Stage::kHold || s.m_count == 0)
                    continue;
                s.m_count -= segment;
                if (s.m_count == 0 && *env.stage[e] > 0)
                    --*env.stage[e];
            }
        }
        m_kernel.render(notes, count, c, current, out, segment);
        out += segment;
        frames -= segment;
    }
}

bool TarnSynthEngine::SilenceBrokenNotes() noexcept
{
    bool any = false;
    for (int i = 0; i < m_numNotes; ++i)
    {
        Note& n = m_notes[i];
        const float sum = n.m_filterLow + n.m_filterHigh + n.m_filterBand + n.m_ampEnv.m_level +
                          n.m_phase + n.m_pwLfoSin + n.m_lfoSin[0] + n.m_lfoSin[1] + n.m_lfoSin[2] +
                          n.m_lfoSin[3] + n.m_partialEnv[0].m_level + n.m_partialEnv[1].m_level +
                          n.m_partialEnv[2].m_level;
        if (IsFinite(sum))
            continue;
        // Reset and silenced: the record ends at the end of this slice.
        n.m_filterLow = n.m_filterHigh = n.m_filterBand = 0.0f;
        n.m_ampEnv.m_level = 0.0f;
        n.m_ampEnv.m_stage = 0;
        any = true;
    }
    return any;
}

namespace
{

// True when every sample is finite: one multiply-add per sample, NaN and infinity propagate.
bool AllFinite(const float* x, unsigned frames) noexcept
{
    float acc[8] = {};
    unsigned i = 0;
    for (; i + 8 <= frames; i += 8)
        for (int j = 0; j < 8; ++j)
            acc[j] += x[i + j] * 0.0f;
    float sum = 0.0f;
    for (; i < frames; ++i)
        sum += x[i] * 0.0f;
    for (float a : acc)
        sum += a;
    return sum == 0.0f;
}

} // namespace

bool TarnSynthEngine::RenderPlayback(float** out, unsigned frames) noexcept
{
    std::memset(out[0], 0, frames * sizeof(float));
    std::memset(out[1], 0, frames * sizeof(float));
    const bool effectOn = P(kParamModulationOnOff) != 0.0f;
    if (m_numNotes == 0 && !effectOn)
    {
        // Nothing sounds: the editor must not keep animating the level of the last voices.
        m_display.activity.store(0.0f, std::memory_order_relaxed);
        return true;
    }

    const unsigned savedMode = _mm_getcsr();
    // Denormals flushed, rounding to nearest (the vector sines fold the cycle by rounding).
    _mm_setcsr((savedMode & ~kRoundingBits) | kFlushDenormals);

    if (m_numNotes == 0)
        AdvanceFilterLfo(frames); // only the effect's tail sounds
    else
    {
        VoiceSliceConstants c;
        PrepareSlice(c, frames);
        const double semitones = P(kParamCoarseTune) + P(kParamFineTune) * 0.01f;
        for (int i = 0; i < m_numNotes; ++i)
            PrepareNote(m_notes[i], semitones, c.pitchFactor);
        // Notes in index order, as many side by side as the path's vectors have lanes.
        for (int first = 0; first < m_numNotes; first += m_kernel.width)
        {
            Note* group[kMaxGroupNotes];
            const int count = std::min(m_kernel.width, m_numNotes - first);
            for (int v = 0; v < count; ++v)
                group[v] = &m_notes[first + v];
            RenderGroup(group, count, c, out[0], frames);
        }
        // A voice that went non-finite is silenced, and so is this slice: no NaN or infinity
        // ever reaches the output or the effect's ring.
        if (SilenceBrokenNotes() || !AllFinite(out[0], frames))
            std::memset(out[0], 0, frames * sizeof(float));
    }
    // Voices are mono and reach both channels alike.
    std::memcpy(out[1], out[0], frames * sizeof(float));

    if (effectOn)
    {
        RenderModulation(out[0], out[1], frames);
        if (!AllFinite(out[0], frames) || !AllFinite(out[1], frames))
        {
            m_effect.Reset();
            std::memset(out[0], 0, frames * sizeof(float));
            std::memset(out[1], 0, frames * sizeof(float));
        }
    }

    for (int i = 0; i < m_numNotes;)
    {
        if (m_notes[i].IsFinished())
            m_notes[i] = m_notes[--m_numNotes];
        else
            ++i;
    }
    float activity = 0.0f;
    for (int i = 0; i < m_numNotes; ++i)
        activity += m_notes[i].m_ampEnv.m_level;
    m_display.activity.store(activity, std::memory_order_relaxed);

    _mm_setcsr(savedMode);
    return false;
}

void TarnSynthEngine::RenderModulation(float* left, float* right, unsigned frames) noexcept
{
    TarnModulationEffect::Settings s;
    s.wetDry = P(kParamModulationWetDry);
    s.delayMs = P(kParamModulationDelay);
    s.sweepMs = P(kParamModulationSweep);
    s.rateHz = P(kParamModulationRate);
    s.feedback = P(kParamModulationFeedback);
    s.spread = P(kParamModulationSpread);
    s.voices = P(kParamModulationVoices);
    s.shape = P(kParamModulationShape);
    m_effect.Render(left, right, frames, s, m_sampleRate);
}

} // namespace Tarn
