// Vector traits for the voice loop on AVX2 with fused multiply-add: eight lanes, and four for the
// last few notes when no more than four remain. Like VoiceGroupLoop.h it is included inside the
// anonymous namespace of each file built for these instructions (the AVX2 and the AVX-512 voice
// loops), so every copy is compiled for its own file's instruction set and none is shared.

struct Avx256
{
    using V = __m256;
    using M = __m256; // lane masks
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
    // u = -r for the scalar sine's folded phase r: the cycle folded around the nearest integer.
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

// Four lanes with the same instructions, for the last few notes when no more than four remain.
struct Avx128
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
    static V MulAdd(V a, V b, V c) noexcept { return _mm_fmadd_ps(a, b, c); }
    static V MulSub(V a, V b, V c) noexcept { return _mm_fmsub_ps(a, b, c); }
    static V Or(V a, V b) noexcept { return _mm_or_ps(a, b); }
    static V CmpLt(V a, V b) noexcept { return _mm_cmp_ps(a, b, _CMP_LT_OQ); }
    static V CmpEq(V a, V b) noexcept { return _mm_cmp_ps(a, b, _CMP_EQ_OQ); }
    static V Select(V mask, V a, V b) noexcept { return _mm_blendv_ps(b, a, mask); }
    static V Trunc(V x) noexcept { return _mm_round_ps(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
    // u = -r for the scalar sine's folded phase r: the cycle folded around the nearest integer.
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
