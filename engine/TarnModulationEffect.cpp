#include "TarnModulationEffect.h"

#include "PolySineSse.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>

namespace Tarn
{

namespace
{

// a + b, minus length where the sum reaches it, per lane and without branches: advances ring
// indices by whole frames.
inline __m128i WrappedAdd(__m128i a, __m128i b, __m128i length) noexcept
{
    const __m128i sum = _mm_add_epi32(a, b);
    const __m128i below = _mm_srai_epi32(_mm_sub_epi32(sum, length), 31); // all ones if sum < L
    return _mm_sub_epi32(sum, _mm_andnot_si128(below, length));
}

inline float Frac(float x) noexcept
{
    if (!(x > -1e9f && x < 1e9f)) // NaN or a rate far outside the parameter range
        return 0.0f;
    float f = x - static_cast<float>(static_cast<long long>(x));
    if (f < 0.0f) // only with a negative rate, which the parameter range excludes
        f += 1.0f;
    return f;
}

inline float HorizontalSum(__m128 v) noexcept
{
    alignas(16) float a[4];
    _mm_store_ps(a, v);
    return (a[0] + a[1]) + (a[2] + a[3]);
}

} // namespace

TarnModulationEffect::Geometry TarnModulationEffect::ComputeGeometry(const Settings& s,
                                                                     float sampleRate) noexcept
{
    const float cap = static_cast<float>(kModMaxDelayFrames);
    Geometry g;
    g.minDelay = s.delayMs * 0.001f * sampleRate;
    if (!(g.minDelay >= 2.0f)) // also NaN
        g.minDelay = 2.0f;
    float sweep = s.sweepMs * 0.001f * sampleRate * 0.5f;
    if (!(sweep >= 0.0f))
        sweep = 0.0f;
    g.centre = std::min(g.minDelay + sweep, cap);
    const float nearest = std::min(g.minDelay, cap);
    // The longest delay C + H must stay inside the ring: near the cap the sweep narrows rather
    // than reading and writing beyond the ring's 48016 frames.
    g.depth = std::min(g.centre - nearest, cap - g.centre);
    g.ringFrames = static_cast<std::int32_t>(g.centre + g.depth) + 8;
    return g;
}

void TarnModulationEffect::Reset() noexcept
{
    std::memset(m_modBuffer, 0, sizeof(m_modBuffer));
    for (float& p : m_modLfoPhase)
        p = 0.0f;
    m_modWritePos = 0;
    m_quietFrames = kModRingFrames; // all zeros
}

void TarnModulationEffect::Render(float* left, float* right, unsigned frames, const Settings& s,
                                  float sampleRate) noexcept
{
    const Geometry g = ComputeGeometry(s, sampleRate);
    const float wet = s.wetDry * 0.01f;
    const float dry = 1.0f - wet;
    const float fb = s.feedback * 0.0099f;
    const float lfoInc = s.rateHz / sampleRate;
    const float lfoCoeff = 2.0f * PolySine(Frac(0.5f * s.rateHz / sampleRate));
    const float shapeGain = s.shape * 10.0f + 1.0f;
    const int voices = (s.voices >= 1.0f && s.voices < 5.0f) ? static_cast<int>(s.voices) : 1;

    // Tap weights per side by voice count; the others are zero.
    float wl[4] = {wet, 0.0f, 0.0f, 0.0f};
    float wr[4] = {wet, 0.0f, 0.0f, 0.0f};
    const float half = wet * 0.5f;
    if (voices == 2)
    {
        wr[0] = 0.0f;
        wr[1] = wet;
    }
    else if (voices == 3)
    {
        wl[0] = half;
        wl[2] = half;
        wr[0] = 0.0f;
        wr[1] = half;
        wr[2] = half;
    }
    else if (voices == 4)
    {
        wl[0] = half;
        wl[2] = half;
        wr[0] = 0.0f;
        wr[1] = half;
        wr[3] = half;
    }
    const __m128 wLeft = _mm_loadu_ps(wl);
    const __m128 wRight = _mm_loadu_ps(wr);

    const std::int32_t L = g.ringFrames;
    for (float& p : m_modLfoPhase)
        p = Frac(p);
    if (m_modWritePos < 0)
        m_modWritePos = 0;
    m_modWritePos %= L;

    // A tail that has died away entirely and no input: the output is exactly zero. Only the
    // LFO phase and the write position move on, as they would have.
    if (L != m_quietRingFrames)
    {
        m_quietRingFrames = L; // frames beyond the old length may hold older sound
        m_quietFrames = 0;
    }
    bool silentIn = true;
    for (unsigned i = 0; i < frames && silentIn; ++i)
        silentIn = left[i] == 0.0f;
    if (silentIn && m_quietFrames >= kModRingFrames)
    {
        float phase = m_modLfoPhase[0];
        for (unsigned start = 0; start < frames; start += kChunkFrames)
            phase += static_cast<float>(std::min(kChunkFrames, frames - start)) * lfoInc;
        for (float& p : m_modLfoPhase)
            p = phase;
        m_modWritePos =
            static_cast<std::int32_t>((m_modWritePos + static_cast<std::int64_t>(frames)) % L);
        std::memset(left, 0, frames * sizeof(float));
        std::memset(right, 0, frames * sizeof(float));
        return;
    }
    __m128 written = _mm_setzero_ps(); // or of every value written into the ring

    const __m128i ringLength = _mm_set1_epi32(L);
    const __m128i oneFrame = _mm_set1_epi32(1);
    const __m128 ringLengthF = _mm_set1_ps(static_cast<float>(L));
    const __m128 centre = _mm_set1_ps(g.centre);
    const __m128 depth = _mm_set1_ps(g.depth);
    const __m128 gain = _mm_set1_ps(shapeGain);
    const __m128 plusOne = _mm_set1_ps(1.0f);
    const __m128 minusOne = _mm_set1_ps(-1.0f);
    const __m128 feedback = _mm_set1_ps(fb);
    const __m128 k = _mm_set1_ps(lfoCoeff);
    const __m128 offsets = _mm_mul_ps(_mm_set1_ps(s.spread), _mm_setr_ps(0.0f, 0.5f, 1.0f, 1.5f));
    const __m128i lineOffset = _mm_setr_epi32(0, 1, 2, 3);

    __m128i writePos = _mm_set1_epi32(m_modWritePos);
    float q = static_cast<float>(m_modWritePos);
    float phase = m_modLfoPhase[0];

    for (unsigned start = 0; start < frames; start += kChunkFrames)
    {
        const unsigned n = std::min(kChunkFrames, frames - start);
        phase += static_cast<float>(n) * lfoInc;
        const __m128 p = _mm_add_ps(_mm_set1_ps(phase), offsets);
        __m128 sn = PolySine4(p);
        __m128 cs = PolySine4(_mm_add_ps(p, _mm_set1_ps(0.25f)));

        for (unsigned i = start; i < start + n; ++i)
        {
            const __m128 v = _mm_min_ps(_mm_max_ps(_mm_mul_ps(gain, sn), minusOne), plusOne);
            const __m128 d = _mm_add_ps(centre, _mm_mul_ps(v, depth));
            __m128 r = _mm_sub_ps(_mm_set1_ps(q), d);
            r = _mm_add_ps(r, _mm_and_ps(_mm_cmplt_ps(r, _mm_setzero_ps()), ringLengthF));
            __m128i i0 = _mm_cvttps_epi32(r);
            const __m128 fr = _mm_sub_ps(r, _mm_cvtepi32_ps(i0));
            i0 = WrappedAdd(i0, _mm_setzero_si128(), ringLength); // r may round up to L
            const __m128i i1 = WrappedAdd(i0, oneFrame, ringLength);
            // Sample index of line j in frame i is 4 i + j.
            alignas(16) std::int32_t a0[4], a1[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(a0),
                            _mm_add_epi32(_mm_slli_epi32(i0, 2), lineOffset));
            _mm_store_si128(reinterpret_cast<__m128i*>(a1),
                            _mm_add_epi32(_mm_slli_epi32(i1, 2), lineOffset));
            const __m128 x0 = _mm_setr_ps(m_modBuffer[a0[0]], m_modBuffer[a0[1]],
                                          m_modBuffer[a0[2]], m_modBuffer[a0[3]]);
            const __m128 x1 = _mm_setr_ps(m_modBuffer[a1[0]], m_modBuffer[a1[1]],
                                          m_modBuffer[a1[2]], m_modBuffer[a1[3]]);
            const __m128 tap = _mm_add_ps(x0, _mm_mul_ps(fr, _mm_sub_ps(x1, x0)));

            const float in = left[i];
            left[i] = dry * in + HorizontalSum(_mm_mul_ps(wLeft, tap));
            right[i] = dry * in + HorizontalSum(_mm_mul_ps(wRight, tap));

            const __m128 write = _mm_add_ps(_mm_set1_ps(in), _mm_mul_ps(feedback, tap));
            _mm_store_ps(m_modBuffer + 4 * _mm_cvtsi128_si32(writePos), write);
            written = _mm_or_ps(written, write);
            writePos = WrappedAdd(writePos, oneFrame, ringLength);
            q += 1.0f;
            if (q >= static_cast<float>(L))
                q -= static_cast<float>(L);

            sn = _mm_add_ps(sn, _mm_mul_ps(k, cs));
            cs = _mm_sub_ps(cs, _mm_mul_ps(k, sn));
        }
    }

    for (float& p : m_modLfoPhase)
        p = phase;
    m_modWritePos = _mm_cvtsi128_si32(writePos);
    // -0 has only its sign bit set and counts as zero.
    const __m128i bits = _mm_slli_epi32(_mm_castps_si128(written), 1);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(bits, _mm_setzero_si128())) == 0xFFFF)
        m_quietFrames += frames;
    else
        m_quietFrames = 0;
}

} // namespace Tarn
