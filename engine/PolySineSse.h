// PolySine on four-lane SSE vectors: the same arithmetic as the scalar PolySine, lane by lane,
// so results are identical to it. Internal linkage: translation units built for other
// instruction sets never share a copy.
#pragma once

#include "PolySine.h"

#include <emmintrin.h>

namespace Tarn
{

static inline __m128 PolySine4(__m128 x) noexcept
{
    const __m128 f = _mm_sub_ps(x, _mm_cvtepi32_ps(_mm_cvttps_epi32(x)));
    __m128 r = _mm_min_ps(_mm_sub_ps(f, _mm_set1_ps(0.5f)), _mm_sub_ps(_mm_set1_ps(1.0f), f));
    r = _mm_max_ps(r, _mm_sub_ps(_mm_setzero_ps(), f));
    const __m128 r2 = _mm_mul_ps(r, r);
    __m128 p = _mm_add_ps(_mm_set1_ps(kPolySineC7), _mm_mul_ps(r2, _mm_set1_ps(kPolySineC9)));
    p = _mm_add_ps(_mm_set1_ps(kPolySineC5), _mm_mul_ps(r2, p));
    p = _mm_add_ps(_mm_set1_ps(kPolySineC3), _mm_mul_ps(r2, p));
    p = _mm_add_ps(_mm_set1_ps(kPolySineC1), _mm_mul_ps(r2, p));
    return _mm_mul_ps(r, p);
}

} // namespace Tarn
