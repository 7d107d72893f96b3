// The master effect: four modulated delay lines with feedback, read by one tap each, mixed into
// the left and right outputs. It turns the mono voice mix into stereo.
#pragma once

#include "core/InstrumentConstants.h"

#include <cstdint>

namespace Tarn
{

class TarnModulationEffect
{
public:
    // Parameter values as stored (percent, milliseconds, Hz, 0..1, voices).
    struct Settings
    {
        float wetDry;   // "Modulation Wet/Dry", 0..100
        float delayMs;  // "Modulation Delay", 0..500
        float sweepMs;  // "Modulation Sweep", 0..50
        float rateHz;   // "Modulation Rate", 0.05..20
        float feedback; // "Modulation Feedback", -100..100
        float spread;   // "Modulation Spread", 0..1
        float voices;   // "Modulation Voices", 1..4
        float shape;    // "Modulation Shape", 0..1
    };

    // Delays in samples and the ring length for one call.
    struct Geometry
    {
        float minDelay;          // D
        float centre;            // C
        float depth;             // H
        std::int32_t ringFrames; // L, at most kModMaxDelayFrames + 8
    };

    static Geometry ComputeGeometry(const Settings& s, float sampleRate) noexcept;

    // Ring, LFO phase and write position to 0. Main thread, while not rendering.
    void Reset() noexcept;

    // Reads the mono input from left and overwrites left and right with the effect's output.
    // Render thread.
    void Render(float* left, float* right, unsigned frames, const Settings& s,
                float sampleRate) noexcept;

    std::int32_t GetWritePos() const noexcept { return m_modWritePos; }
    float GetLfoPhase() const noexcept { return m_modLfoPhase[0]; }

private:
    static constexpr unsigned kChunkFrames = 128; // the LFO is re-seeded from its phase per chunk

    alignas(kVectorAlign) float m_modBuffer[kModRingFrames * 4]; // frame i: lines 0..3
    alignas(16) float m_modLfoPhase[4] = {};                     // cycles; all four lanes equal
    std::int32_t m_modWritePos = 0;
    // Frames since a non-zero value was last written into the ring at its present length. Once
    // it covers the whole ring, the ring holds only zeros and silence in gives silence out
    // without computing it.
    std::int64_t m_quietFrames = 0;
    std::int32_t m_quietRingFrames = 0;
};

} // namespace Tarn
