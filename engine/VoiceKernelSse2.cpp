// The voice loop on four-lane SSE2 vectors: four notes side by side.
#include "PolySine.h"
#include "VoiceKernel.h"

#include <emmintrin.h>

namespace Tarn
{

namespace
{

struct Sse2
{
    using V = __m128;
    using M = __m128; // lane masks
    static constexpr int kWidth = 4;

    static V Load(const float* p) noexcept { return _mm_load_ps(p); }
    static void Store(float* p, V x) noexcept { _mm_store_ps(p, x); }
    static V Set1(float x) noexcept { return _mm_set1_ps(x); }
    static V Add(V a, V b) noexcept { return _mm_add_ps(a, b); }
    static V Sub(V a, V b) noexcept { return _mm_sub_ps(a, b); }
    static V Mul(V a, V b) noexcept { return _mm_mul_ps(a, b); }
    static V Div(V a, V b) noexcept { return _mm_div_ps(a, b); }
    static V MulAdd(V a, V b, V c) noexcept { return _mm_add_ps(_mm_mul_ps(a, b), c); }
    static V MulSub(V a, V b, V c) noexcept { return _mm_sub_ps(_mm_mul_ps(a, b), c); }
    static V Or(V a, V b) noexcept { return _mm_or_ps(a, b); }
    static V CmpLt(V a, V b) noexcept { return _mm_cmplt_ps(a, b); }
    static V CmpEq(V a, V b) noexcept { return _mm_cmpeq_ps(a, b); }
    static V Select(V mask, V a, V b) noexcept
    {
        return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
    }
    static V Trunc(V x) noexcept { return _mm_cvtepi32_ps(_mm_cvttps_epi32(x)); }
    // u = -r for the scalar sine's folded phase r (see PolySineSse.h).
    static V Fold(V x) noexcept
    {
        const V g = _mm_sub_ps(x, _mm_cvtepi32_ps(_mm_cvtps_epi32(x)));
        const V u = _mm_min_ps(g, _mm_sub_ps(_mm_set1_ps(0.5f), g));
        return _mm_max_ps(u, _mm_sub_ps(_mm_set1_ps(-0.5f), g));
    }
    static float Sum(V v) noexcept
    {
        const V pair = _mm_add_ps(v, _mm_movehl_ps(v, v));
        return _mm_cvtss_f32(_mm_add_ss(pair, _mm_shuffle_ps(pair, pair, 0x55)));
    }
};

#include "VoiceGroupLoop.h"

} // namespace

void RenderVoicesSse2(Note* const* notes, int count, const VoiceSliceConstants& c,
                      Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                      unsigned frames) noexcept
{
    VoiceGroupLoop<Sse2>::Render(notes, count, c, stages, out, frames);
}

} // namespace Tarn
