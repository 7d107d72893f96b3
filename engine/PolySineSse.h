// PolySine on four-lane SSE vectors: the same arithmetic as the scalar PolySine, lane by lane,
// so results are identical to it. Internal linkage: translation units built for other
// instruction sets never share a copy.
#pragma once

#include "PolySine.h"

#include <emmintrin.h>

namespace Tarn
{

// The cycle is folded from g = x - nearest integer (in [-0.5, 0.5]) to u = -r, with r the
// scalar version's folded phase, and the polynomial runs with negated coefficients: every step
// is exact or the exact negation of the scalar step, so the results are bit for bit the same,
// with one instruction less. Needs the round-to-nearest mode, which the renderer sets.
static inline __m128 PolySine4(__m128 x) noexcept
{
    const __m128 g = _mm_sub_ps(x, _mm_cvtepi32_ps(_mm_cvtps_epi32(x)));
    __m128 u = _mm_min_ps(g, _mm_sub_ps(_mm_set1_ps(0.5f), g));
    u = _mm_max_ps(u, _mm_sub_ps(_mm_set1_ps(-0.5f), g));
    const __m128 u2 = _mm_mul_ps(u, u);
    __m128 p = _mm_add_ps(_mm_set1_ps(-kPolySineC7), _mm_mul_ps(u2, _mm_set1_ps(-kPolySineC9)));
    p = _mm_add_ps(_mm_set1_ps(-kPolySineC5), _mm_mul_ps(u2, p));
    p = _mm_add_ps(_mm_set1_ps(-kPolySineC3), _mm_mul_ps(u2, p));
    p = _mm_add_ps(_mm_set1_ps(-kPolySineC1), _mm_mul_ps(u2, p));
    return _mm_mul_ps(u, p);
}

} // namespace Tarn
