// The reference voice loop: one sample at a time, plain floats, in the documented order.
#include "PolySine.h"
#include "VoiceKernel.h"

namespace Tarn
{

namespace
{

// The bent phase: the part of the period before w maps onto the first half-cycle, the rest onto
// the second. Only the selected branch divides.
inline float BendPhase(float phase, float w) noexcept
{
    if (w < phase || w == 0.0f)
        return 0.5f + 0.5f * (phase - w) / (1.0f - w);
    return 0.5f * phase / w;
}

void RenderVoice(Note& note, const VoiceSliceConstants& c,
                 Note::Stage* const stages[kNumVoiceEnvelopes], float* out,
                 unsigned frames) noexcept
{
    float* levels[kNumVoiceEnvelopes] = {
        &note.m_ampEnv.m_level,        &note.m_partialEnv[0].m_level, &note.m_partialEnv[1].m_level,
        &note.m_partialEnv[2].m_level, &note.m_pwEnv.m_level,         &note.m_filterEnv.m_level};
    float level[kNumVoiceEnvelopes], slope[kNumVoiceEnvelopes], curve[kNumVoiceEnvelopes];
    for (int e = 0; e < kNumVoiceEnvelopes; ++e)
    {
        level[e] = *levels[e];
        slope[e] = stages[e]->m_slope;
        curve[e] = stages[e]->m_curve;
    }

    float phase = note.m_phase;
    const float inc = note.m_phaseInc * c.pitchFactor;
    // Partial gains with the note's band limit; partials above it are not evaluated.
    float gain[16];
    for (int k = 0; k < 16; ++k)
        gain[k] = c.partialGain[k] * note.m_bandGain[k];
    const int top = note.m_bandTop;
    float lfoSin[4], lfoCos[4];
    for (int j = 0; j < 4; ++j)
    {
        lfoSin[j] = note.m_lfoSin[j];
        lfoCos[j] = note.m_lfoCos[j];
    }
    float pwSin = note.m_pwLfoSin, pwCos = note.m_pwLfoCos;
    float low = note.m_filterLow, high = note.m_filterHigh, band = note.m_filterBand;

    for (unsigned i = 0; i < frames; ++i)
    {
        for (int e = 0; e < kNumVoiceEnvelopes; ++e)
            level[e] += slope[e];

        const float w = note.m_pwConst + c.pwLfoAmount * pwSin + c.pwEnvAmount * level[4];
        const float bent = BendPhase(phase, w);

        phase += inc;
        phase -= static_cast<float>(static_cast<int>(phase));

        // G[0] is LFO 4 alone; G[n] is LFO n times partial envelope n.
        float g[4];
        g[0] = c.lfoOffset[0] + c.lfoAmount[0] * lfoSin[0];
        for (int n = 1; n < 4; ++n)
            g[n] = (c.lfoOffset[n] + c.lfoAmount[n] * lfoSin[n]) * level[n];

        float x = 0.0f;
        for (int k = 0; k < top; ++k)
            x += PolySine(static_cast<float>(k + 1) * bent) * gain[k] * g[c.envChoice[k]];

        const float f = note.m_filterF + note.m_filterFRange * level[5];
        low += f * band;
        high = x - low - note.m_filterDamping * band;
        band += f * high;
        const float y = c.aThru * x + c.aLow * low + c.aBand * band + c.aHigh * high;

        for (int e = 0; e < kNumVoiceEnvelopes; ++e)
            slope[e] += curve[e];

        for (int j = 0; j < 4; ++j)
        {
            lfoSin[j] += note.m_lfoCoeff[j] * lfoCos[j];
            lfoCos[j] -= note.m_lfoCoeff[j] * lfoSin[j];
        }
        pwSin += c.pwLfoCoeff * pwCos;
        pwCos -= c.pwLfoCoeff * pwSin;

        out[i] += y * level[0];
    }

    for (int e = 0; e < kNumVoiceEnvelopes; ++e)
    {
        *levels[e] = level[e];
        stages[e]->m_slope = slope[e];
    }
    note.m_phase = phase;
    for (int j = 0; j < 4; ++j)
    {
        note.m_lfoSin[j] = lfoSin[j];
        note.m_lfoCos[j] = lfoCos[j];
    }
    note.m_pwLfoSin = pwSin;
    note.m_pwLfoCos = pwCos;
    note.m_filterLow = low;
    note.m_filterHigh = high;
    note.m_filterBand = band;
}

} // namespace

void RenderVoicesScalar(Note* const* notes, int count, const VoiceSliceConstants& c,
                        Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                        unsigned frames) noexcept
{
    for (int v = 0; v < count; ++v)
        RenderVoice(*notes[v], c, stages[v], out, frames);
}

} // namespace Tarn
