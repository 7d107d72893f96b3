// One voice of the pool: key, velocity, six envelopes, oscillator, LFO and filter state.
#pragma once

#include <cstdint>

namespace Tarn
{

struct Note
{
    // One segment of an envelope, stepped once per sample by forward differences.
    struct Stage
    {
        static constexpr std::uint32_t kHold = 0xFFFFFFFFu; // the stage never ends by itself

        float m_slope = 0.0f;          // added to the level at the next sample
        float m_curve = 0.0f;          // added to the slope after each sample
        std::uint32_t m_count = kHold; // samples left in the stage

        // A quadratic segment from `from` to `to` lasting `seconds` (at least one sample) at
        // `sampleRate` Hz. Shape 1 is a straight line; shape 0 the most curved (rising slowly,
        // falling quickly).
        void Setup(float seconds, float shape, float from, float to, float sampleRate) noexcept;
        // A straight segment with the given slope per sample lasting max(samples, 1).
        void SetupLinear(float slope, float samples) noexcept;
        void SetHold() noexcept { *this = Stage{}; }
    };

    // Stages run from the highest index down to 0 (finished, a hold).
    template <int kStages> struct Envelope
    {
        std::int32_t m_stage = 0;
        std::int32_t m_sustainStage = 0;
        float m_level = 0.0f;
        float m_sustainScale = 1.0f; // applied to the sustain parameter while sustaining
        Stage m_stages[kStages];
    };

    // Main amplitude envelope: 4 attack, 3 decay, 2 sustain, 1 release, 0 finished.
    // Partial envelopes: 6 A1, 5 A2, 4 A3, 3 sustain, 2 R1, 1 R2, 0 finished.
    static constexpr int kAmpStages = 5;
    static constexpr int kPartialStages = 7;

    std::int32_t m_key = 0;
    float m_velocity = 0.0f; // 0..1
    double m_octaves = 0.0;  // from key 60, tuning included; refreshed every slice
    Envelope<kAmpStages> m_ampEnv;
    Envelope<kPartialStages> m_partialEnv[3];
    Envelope<kAmpStages> m_pwEnv;
    Envelope<kAmpStages> m_filterEnv;

    // Renderer state.
    float m_phase = 0.0f;               // cycles, [0, 1)
    float m_phaseInc = 0.0f;            // cycles per sample at no tuning and no bend
    alignas(16) float m_lfoSin[4] = {}; // lanes: LFO 4, LFO 1, LFO 2, LFO 3
    alignas(16) float m_lfoCos[4] = {};
    alignas(16) float m_lfoCoeff[4] = {}; // rotation coefficients, per slice
    float m_pwLfoSin = 0.0f;
    float m_pwLfoCos = 0.0f;
    float m_filterLow = 0.0f;
    float m_filterHigh = 0.0f;
    float m_filterBand = 0.0f;
    float m_filterF = 0.0f;      // frequency coefficient without envelope
    float m_filterFRange = 0.0f; // added to the coefficient at filter-envelope level 1
    float m_filterDamping = 0.0f;
    float m_pwConst = 0.0f; // "Pulse Width" + velocity part, per slice
    // Band limit, per slice: partial k+1 is scaled by m_bandGain[k], 1 well below half the
    // sample rate, fading to 0 at it; partials from m_bandTop on are 0.
    float m_bandGain[16] = {};
    std::int32_t m_bandTop = 0;

    bool IsFinished() const noexcept { return m_ampEnv.m_stage == 0; }
};

} // namespace Tarn
