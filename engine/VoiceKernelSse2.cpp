// The voice loop on four-lane SSE2 vectors: the sixteen partials are four vectors; the main and
// partial envelope levels, the LFO bank and the partial gains G[0..3] are one vector each.
#include "PolySineSse.h"
#include "VoiceKernel.h"

#include <emmintrin.h>

namespace Tarn
{

namespace
{

struct KernelState
{
    __m128 level, slope, curve; // main, partial 1, 2, 3
    float pwLevel, pwSlope, pwCurve;
    float filterLevel, filterSlope, filterCurve;
};

inline float HorizontalSum(__m128 v) noexcept
{
    const __m128 high = _mm_movehl_ps(v, v);             // lanes 2, 3
    const __m128 pair = _mm_add_ps(v, high);             // 0+2, 1+3
    const __m128 odd = _mm_shuffle_ps(pair, pair, 0x55); // 1+3
    return _mm_cvtss_f32(_mm_add_ss(pair, odd));
}

// kVectors: partial vectors with any non-zero gain (the rest add nothing and are skipped).
// kUniform: every partial uses the same gain G[choice], so no per-lane selection is needed.
template <int kVectors, bool kUniform>
void Loop(Note& note, const VoiceSliceConstants& c, KernelState& st, float* out,
          unsigned frames) noexcept
{
    __m128 gain[4];      // A(k) per partial vector
    __m128 select[4][4]; // select[m][n]: lanes of vector m whose envelope choice is n
    for (int m = 0; m < 4; ++m)
    {
        gain[m] = _mm_load_ps(c.partialGain + 4 * m);
        const __m128i choice =
            _mm_load_si128(reinterpret_cast<const __m128i*>(c.envChoice + 4 * m));
        for (int n = 0; n < 4; ++n)
            select[m][n] = _mm_castsi128_ps(_mm_cmpeq_epi32(choice, _mm_set1_epi32(n)));
    }
    const int uniformChoice = c.envChoice[0];
    const __m128 harmonic[4] = {_mm_setr_ps(1, 2, 3, 4), _mm_setr_ps(5, 6, 7, 8),
                                _mm_setr_ps(9, 10, 11, 12), _mm_setr_ps(13, 14, 15, 16)};
    const __m128 lfoOffset = _mm_load_ps(c.lfoOffset);
    const __m128 lfoAmount = _mm_load_ps(c.lfoAmount);
    const __m128 lfoCoeff = _mm_load_ps(note.m_lfoCoeff);
    const __m128 lane0One = _mm_setr_ps(1.0f, 0.0f, 0.0f, 0.0f);
    const __m128 upperLanes = _mm_castsi128_ps(_mm_setr_epi32(0, -1, -1, -1));

    __m128 lfoSin = _mm_load_ps(note.m_lfoSin);
    __m128 lfoCos = _mm_load_ps(note.m_lfoCos);
    __m128 level = st.level, slope = st.slope;
    const __m128 curve = st.curve;
    float pwLevel = st.pwLevel, pwSlope = st.pwSlope;
    float filterLevel = st.filterLevel, filterSlope = st.filterSlope;
    const float pwCurve = st.pwCurve, filterCurve = st.filterCurve;

    float phase = note.m_phase[0];
    const float inc = note.m_phaseInc[0] * c.pitchFactor;
    float pwSin = note.m_pwLfoSin, pwCos = note.m_pwLfoCos;
    float low = note.m_filterLow, high = note.m_filterHigh, band = note.m_filterBand;
    const float pwConst = note.m_pwConst, pwLfoAmount = c.pwLfoAmount;
    const float pwEnvAmount = c.pwEnvAmount, pwLfoCoeff = c.pwLfoCoeff;
    const float filterF = note.m_filterF, filterFRange = note.m_filterFRange;
    const float damping = note.m_filterDamping;
    const float aThru = c.aThru, aLow = c.aLow, aBand = c.aBand, aHigh = c.aHigh;

    for (unsigned i = 0; i < frames; ++i)
    {
        level = _mm_add_ps(level, slope);
        pwLevel += pwSlope;
        filterLevel += filterSlope;

        const float w = pwConst + pwLfoAmount * pwSin + pwEnvAmount * pwLevel;
        float bent;
        if (w < phase || w == 0.0f)
            bent = 0.5f + 0.5f * (phase - w) / (1.0f - w);
        else
            bent = 0.5f * phase / w;
        phase += inc;
        phase -= static_cast<float>(static_cast<int>(phase));

        // G = (offset + amount x LFO) x (1, partial envelopes 1..3)
        const __m128 envGain = _mm_or_ps(_mm_and_ps(level, upperLanes), lane0One);
        const __m128 g = _mm_mul_ps(_mm_add_ps(lfoOffset, _mm_mul_ps(lfoAmount, lfoSin)), envGain);

        const __m128 bentV = _mm_set1_ps(bent);
        __m128 acc = _mm_setzero_ps();
        if constexpr (kUniform)
        {
            alignas(16) float gl[4];
            _mm_store_ps(gl, g);
            const __m128 gu = _mm_set1_ps(gl[uniformChoice]);
            for (int m = 0; m < kVectors; ++m)
            {
                const __m128 s = PolySine4(_mm_mul_ps(harmonic[m], bentV));
                acc = _mm_add_ps(acc, _mm_mul_ps(_mm_mul_ps(s, gain[m]), gu));
            }
        }
        else
        {
            const __m128 g0 = _mm_shuffle_ps(g, g, 0x00), g1 = _mm_shuffle_ps(g, g, 0x55);
            const __m128 g2 = _mm_shuffle_ps(g, g, 0xAA), g3 = _mm_shuffle_ps(g, g, 0xFF);
            for (int m = 0; m < kVectors; ++m)
            {
                const __m128 gsel = _mm_or_ps(
                    _mm_or_ps(_mm_and_ps(select[m][0], g0), _mm_and_ps(select[m][1], g1)),
                    _mm_or_ps(_mm_and_ps(select[m][2], g2), _mm_and_ps(select[m][3], g3)));
                const __m128 s = PolySine4(_mm_mul_ps(harmonic[m], bentV));
                acc = _mm_add_ps(acc, _mm_mul_ps(_mm_mul_ps(s, gain[m]), gsel));
            }
        }
        const float x = HorizontalSum(acc);

        const float f = filterF + filterFRange * filterLevel;
        low += f * band;
        high = x - low - damping * band;
        band += f * high;
        const float y = aThru * x + aLow * low + aBand * band + aHigh * high;

        slope = _mm_add_ps(slope, curve);
        pwSlope += pwCurve;
        filterSlope += filterCurve;

        lfoSin = _mm_add_ps(lfoSin, _mm_mul_ps(lfoCoeff, lfoCos));
        lfoCos = _mm_sub_ps(lfoCos, _mm_mul_ps(lfoCoeff, lfoSin));
        pwSin += pwLfoCoeff * pwCos;
        pwCos -= pwLfoCoeff * pwSin;

        out[i] += y * _mm_cvtss_f32(level);
    }

    st.level = level;
    st.slope = slope;
    st.pwLevel = pwLevel;
    st.pwSlope = pwSlope;
    st.filterLevel = filterLevel;
    st.filterSlope = filterSlope;
    _mm_store_ps(note.m_lfoSin, lfoSin);
    _mm_store_ps(note.m_lfoCos, lfoCos);
    _mm_store_ps(note.m_phase, _mm_set1_ps(phase));
    note.m_pwLfoSin = pwSin;
    note.m_pwLfoCos = pwCos;
    note.m_filterLow = low;
    note.m_filterHigh = high;
    note.m_filterBand = band;
}

template <bool kUniform>
void Dispatch(int vectors, Note& note, const VoiceSliceConstants& c, KernelState& st, float* out,
              unsigned frames) noexcept
{
    switch (vectors)
    {
    case 0:
    case 1:
        Loop<1, kUniform>(note, c, st, out, frames);
        break;
    case 2:
        Loop<2, kUniform>(note, c, st, out, frames);
        break;
    case 3:
        Loop<3, kUniform>(note, c, st, out, frames);
        break;
    default:
        Loop<4, kUniform>(note, c, st, out, frames);
        break;
    }
}

} // namespace

void RenderVoiceSse2(Note& note, const VoiceSliceConstants& c,
                     Note::Stage* const stages[kNumVoiceEnvelopes], float* out,
                     unsigned frames) noexcept
{
    KernelState st;
    st.level = _mm_setr_ps(note.m_ampEnv.m_level, note.m_partialEnv[0].m_level,
                           note.m_partialEnv[1].m_level, note.m_partialEnv[2].m_level);
    st.slope =
        _mm_setr_ps(stages[0]->m_slope, stages[1]->m_slope, stages[2]->m_slope, stages[3]->m_slope);
    st.curve =
        _mm_setr_ps(stages[0]->m_curve, stages[1]->m_curve, stages[2]->m_curve, stages[3]->m_curve);
    st.pwLevel = note.m_pwEnv.m_level;
    st.pwSlope = stages[4]->m_slope;
    st.pwCurve = stages[4]->m_curve;
    st.filterLevel = note.m_filterEnv.m_level;
    st.filterSlope = stages[5]->m_slope;
    st.filterCurve = stages[5]->m_curve;

    int vectors = 0;
    bool uniform = true;
    for (int k = 0; k < 16; ++k)
    {
        if (c.partialGain[k] != 0.0f)
            vectors = k / 4 + 1;
        uniform = uniform && c.envChoice[k] == c.envChoice[0];
    }
    if (uniform)
        Dispatch<true>(vectors, note, c, st, out, frames);
    else
        Dispatch<false>(vectors, note, c, st, out, frames);

    alignas(16) float level[4], slope[4];
    _mm_store_ps(level, st.level);
    _mm_store_ps(slope, st.slope);
    note.m_ampEnv.m_level = level[0];
    for (int e = 0; e < 3; ++e)
        note.m_partialEnv[e].m_level = level[e + 1];
    for (int e = 0; e < 4; ++e)
        stages[e]->m_slope = slope[e];
    note.m_pwEnv.m_level = st.pwLevel;
    stages[4]->m_slope = st.pwSlope;
    note.m_filterEnv.m_level = st.filterLevel;
    stages[5]->m_slope = st.filterSlope;
}

} // namespace Tarn
