// sin(2 pi x) for a phase x >= 0 in cycles, by an odd ninth-order polynomial on the cycle folded
// into [-0.25, 0.25]: accurate to about 1e-7, no table. Scalar form; the vector kernels carry
// their own copies of the same arithmetic.
#pragma once

namespace Tarn
{

constexpr float kPolySineC1 = -6.2831855f;
constexpr float kPolySineC3 = 41.341679f;
constexpr float kPolySineC5 = -81.602234f;
constexpr float kPolySineC7 = 76.574974f;
constexpr float kPolySineC9 = -39.710674f;

inline float PolySine(float x) noexcept
{
    const float f = x - static_cast<float>(static_cast<int>(x));
    float r = f - 0.5f;
    if (1.0f - f < r)
        r = 1.0f - f;
    if (-f > r)
        r = -f;
    const float r2 = r * r;
    return r * (kPolySineC1 +
                r2 * (kPolySineC3 + r2 * (kPolySineC5 + r2 * (kPolySineC7 + r2 * kPolySineC9))));
}

} // namespace Tarn
