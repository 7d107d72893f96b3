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

// Eight and four lanes, compiled here for this file's instruction set, for groups that would leave
// most of a sixteen-lane vector empty.
#include "VoiceLanesAvx.h"

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
