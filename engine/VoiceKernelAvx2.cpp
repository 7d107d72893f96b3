// The voice loop on eight-lane AVX2 vectors with fused multiply-add: the sixteen partials are two
// vectors and each lane picks its gain G[choice] with one in-lane permute. This file alone is
// built with -mavx2 -mfma and is only called when the processor has both; it uses no inline
// function shared with other files, so no AVX code can leak into the baseline paths.
#include "VoiceKernel.h"

#include <immintrin.h>

namespace Tarn
{

namespace
{

constexpr float kC1 = -6.2831855f;
constexpr float kC3 = 41.341679f;
constexpr float kC5 = -81.602234f;
constexpr float kC7 = 76.574974f;
constexpr float kC9 = -39.710674f;

inline __m256 PolySine8(__m256 x) noexcept
{
    const __m256 f = _mm256_sub_ps(x, _mm256_round_ps(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
    __m256 r = _mm256_min_ps(_mm256_sub_ps(f, _mm256_set1_ps(0.5f)),
                             _mm256_sub_ps(_mm256_set1_ps(1.0f), f));
    r = _mm256_max_ps(r, _mm256_sub_ps(_mm256_setzero_ps(), f));
    const __m256 r2 = _mm256_mul_ps(r, r);
    __m256 p = _mm256_fmadd_ps(r2, _mm256_set1_ps(kC9), _mm256_set1_ps(kC7));
    p = _mm256_fmadd_ps(r2, p, _mm256_set1_ps(kC5));
    p = _mm256_fmadd_ps(r2, p, _mm256_set1_ps(kC3));
    p = _mm256_fmadd_ps(r2, p, _mm256_set1_ps(kC1));
    return _mm256_mul_ps(r, p);
}

inline float HorizontalSum(__m256 v) noexcept
{
    __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    s = _mm_add_ps(s, _mm_movehl_ps(s, s));
    s = _mm_add_ss(s, _mm_shuffle_ps(s, s, 0x55));
    return _mm_cvtss_f32(s);
}

struct KernelState
{
    __m128 level, slope, curve; // main, partial 1, 2, 3
    float pwLevel, pwSlope, pwCurve;
    float filterLevel, filterSlope, filterCurve;
};

// kVectors: eight-partial vectors with any non-zero gain (the rest add nothing).
template <int kVectors>
void Loop(Note& note, const VoiceSliceConstants& c, KernelState& st, float* out,
          unsigned frames) noexcept
{
    const __m256 gain[2] = {_mm256_load_ps(c.partialGain), _mm256_load_ps(c.partialGain + 8)};
    const __m256i choice[2] = {
        _mm256_load_si256(reinterpret_cast<const __m256i*>(c.envChoice)),
        _mm256_load_si256(reinterpret_cast<const __m256i*>(c.envChoice + 8))};
    const __m256 harmonic[2] = {_mm256_setr_ps(1, 2, 3, 4, 5, 6, 7, 8),
                                _mm256_setr_ps(9, 10, 11, 12, 13, 14, 15, 16)};
    const __m128 lfoOffset = _mm_load_ps(c.lfoOffset);
    const __m128 lfoAmount = _mm_load_ps(c.lfoAmount);
    const __m128 lfoCoeff = _mm_load_ps(note.m_lfoCoeff);
    const __m128 envBlend = _mm_setr_ps(1.0f, 0.0f, 0.0f, 0.0f);

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

        // G = (offset + amount x LFO) x (1, partial envelopes 1..3), in both 128-bit halves.
        const __m128 envGain = _mm_blend_ps(level, envBlend, 0x1);
        const __m128 g = _mm_mul_ps(_mm_fmadd_ps(lfoAmount, lfoSin, lfoOffset), envGain);
        const __m256 g8 = _mm256_set_m128(g, g);

        const __m256 bentV = _mm256_set1_ps(bent);
        __m256 acc = _mm256_setzero_ps();
        for (int m = 0; m < kVectors; ++m)
        {
            const __m256 gsel = _mm256_permutevar_ps(g8, choice[m]);
            const __m256 s = PolySine8(_mm256_mul_ps(harmonic[m], bentV));
            acc = _mm256_fmadd_ps(_mm256_mul_ps(s, gain[m]), gsel, acc);
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

        lfoSin = _mm_fmadd_ps(lfoCoeff, lfoCos, lfoSin);
        lfoCos = _mm_fnmadd_ps(lfoCoeff, lfoSin, lfoCos);
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

} // namespace

void RenderVoiceAvx2(Note& note, const VoiceSliceConstants& c,
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

    bool upperHalf = false;
    for (int k = 8; k < 16; ++k)
        upperHalf = upperHalf || c.partialGain[k] != 0.0f;
    if (upperHalf)
        Loop<2>(note, c, st, out, frames);
    else
        Loop<1>(note, c, st, out, frames);

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
