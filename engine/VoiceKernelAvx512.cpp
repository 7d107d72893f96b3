// The voice loop on sixteen-lane AVX-512 vectors with fused multiply-add: sixteen notes side by
// side. This file alone is built with -mavx512f (and AVX2 and FMA, which every AVX-512 processor
// has) and is only called when the processor has AVX-512F. Like the AVX2 file it calls no inline
// function shared with other files, so no AVX-512 instruction can reach the baseline paths.
#include "PolySine.h"
#include "VoiceKernel.h"

#include <immintrin.h>

namespace Tarn
{

namespace
{

struct Avx512
{
    using V = __m512;
    using M = __mmask16; // one bit per lane
    static constexpr int kWidth = 16;

    static V Load(const float* p) noexcept { return _mm512_load_ps(p); }
    static void Store(float* p, V x) noexcept { _mm512_store_ps(p, x); }
    static V Set1(float x) noexcept { return _mm512_set1_ps(x); }
    static V Add(V a, V b) noexcept { return _mm512_add_ps(a, b); }
    static V Sub(V a, V b) noexcept { return _mm512_sub_ps(a, b); }
    static V Mul(V a, V b) noexcept { return _mm512_mul_ps(a, b); }
    static V Div(V a, V b) noexcept { return _mm512_div_ps(a, b); }
    static V MulAdd(V a, V b, V c) noexcept { return _mm512_fmadd_ps(a, b, c); }
    static V MulSub(V a, V b, V c) noexcept { return _mm512_fmsub_ps(a, b, c); }
    static M Or(M a, M b) noexcept { return static_cast<M>(a | b); }
    static M CmpLt(V a, V b) noexcept { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static M CmpEq(V a, V b) noexcept { return _mm512_cmp_ps_mask(a, b, _CMP_EQ_OQ); }
    static V Select(M mask, V a, V b) noexcept { return _mm512_mask_blend_ps(mask, b, a); }
    static V Trunc(V x) noexcept
    {
        return _mm512_roundscale_ps(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    }
    // u = -r for the scalar sine's folded phase r: the cycle folded around the nearest integer.
    static V Fold(V x) noexcept
    {
        const V g = Sub(x, _mm512_roundscale_ps(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
        const V u = _mm512_min_ps(g, Sub(Set1(0.5f), g));
        return _mm512_max_ps(u, Sub(Set1(-0.5f), g));
    }
    static float Sum(V v) noexcept { return _mm512_reduce_add_ps(v); }
};

// Eight and four lanes with the same instruction set, for groups that would leave most of a
// sixteen-lane vector empty.
struct Avx256
{
    using V = __m256;
    using M = __m256;
    static constexpr int kWidth = 8;

    static V Load(const float* p) noexcept { return _mm256_load_ps(p); }
    static void Store(float* p, V x) noexcept { _mm256_store_ps(p, x); }
    static V Set1(float x) noexcept { return _mm256_set1_ps(x); }
    static V Add(V a, V b) noexcept { return _mm256_add_ps(a, b); }
    static V Sub(V a, V b) noexcept { return _mm256_sub_ps(a, b); }
    static V Mul(V a, V b) noexcept { return _mm256_mul_ps(a, b); }
    static V Div(V a, V b) noexcept { return _mm256_div_ps(a, b); }
    static V MulAdd(V a, V b, V c) noexcept { return _mm256_fmadd_ps(a, b, c); }
    static V MulSub(V a, V b, V c) noexcept { return _mm256_fmsub_ps(a, b, c); }
    static V Or(V a, V b) noexcept { return _mm256_or_ps(a, b); }
    static V CmpLt(V a, V b) noexcept { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static V CmpEq(V a, V b) noexcept { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
    static V Select(V mask, V a, V b) noexcept { return _mm256_blendv_ps(b, a, mask); }
    static V Trunc(V x) noexcept
    {
        return _mm256_round_ps(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    }
    static V Fold(V x) noexcept
    {
        const V g = Sub(x, _mm256_round_ps(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
        const V u = _mm256_min_ps(g, Sub(Set1(0.5f), g));
        return _mm256_max_ps(u, Sub(Set1(-0.5f), g));
    }
    static float Sum(V v) noexcept
    {
        __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
        s = _mm_add_ps(s, _mm_movehl_ps(s, s));
        return _mm_cvtss_f32(_mm_add_ss(s, _mm_shuffle_ps(s, s, 0x55)));
    }
};

struct Avx128
{
    using V = __m128;
    using M = __m128;
    static constexpr int kWidth = 4;

    static V Load(const float* p) noexcept { return _mm_load_ps(p); }
    static void Store(float* p, V x) noexcept { _mm_store_ps(p, x); }
    static V Set1(float x) noexcept { return _mm_set1_ps(x); }
    static V Add(V a, V b) noexcept { return _mm_add_ps(a, b); }
    static V Sub(V a, V b) noexcept { return _mm_sub_ps(a, b); }
    static V Mul(V a, V b) noexcept { return _mm_mul_ps(a, b); }
    static V Div(V a, V b) noexcept { return _mm_div_ps(a, b); }
    static V MulAdd(V a, V b, V c) noexcept { return _mm_fmadd_ps(a, b, c); }
    static V MulSub(V a, V b, V c) noexcept { return _mm_fmsub_ps(a, b, c); }
    static V Or(V a, V b) noexcept { return _mm_or_ps(a, b); }
    static V CmpLt(V a, V b) noexcept { return _mm_cmp_ps(a, b, _CMP_LT_OQ); }
    static V CmpEq(V a, V b) noexcept { return _mm_cmp_ps(a, b, _CMP_EQ_OQ); }
    static V Select(V mask, V a, V b) noexcept { return _mm_blendv_ps(b, a, mask); }
    static V Trunc(V x) noexcept { return _mm_round_ps(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
    static V Fold(V x) noexcept
    {
        const V g = Sub(x, _mm_round_ps(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
        const V u = _mm_min_ps(g, Sub(Set1(0.5f), g));
        return _mm_max_ps(u, Sub(Set1(-0.5f), g));
    }
    static float Sum(V v) noexcept
    {
        const V pair = _mm_add_ps(v, _mm_movehl_ps(v, v));
        return _mm_cvtss_f32(_mm_add_ss(pair, _mm_shuffle_ps(pair, pair, 0x55)));
    }
};

#include "VoiceGroupLoop.h"

} // namespace

void RenderVoicesAvx512(Note* const* notes, int count, const VoiceSliceConstants& c,
                        Note::Stage* const (*stages)[kNumVoiceEnvelopes], float* out,
                        unsigned frames) noexcept
{
    if (count <= 4)
        VoiceGroupLoop<Avx128>::Render(notes, count, c, stages, out, frames);
    else if (count <= 8)
        VoiceGroupLoop<Avx256>::Render(notes, count, c, stages, out, frames);
    else
        VoiceGroupLoop<Avx512>::Render(notes, count, c, stages, out, frames);
}

} // namespace Tarn
