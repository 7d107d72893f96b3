#include "Note.h"

#include <algorithm>

namespace Tarn
{

namespace
{

// Samples as a stage count. Values that do not fit (only reachable with parameters outside
// their ranges) end up one below the hold marker; NaN gives one sample.
std::uint32_t CountOf(float samples) noexcept
{
    if (!(samples >= 1.0f))
        return 1;
    if (samples >= 4294967040.0f)
        return Note::Stage::kHold - 1;
    return static_cast<std::uint32_t>(samples);
}

} // namespace

void Note::Stage::Setup(float seconds, float shape, float from, float to, float sampleRate) noexcept
{
    float n = seconds * sampleRate;
    if (!(n >= 1.0f)) // also catches NaN
        n = 1.0f;
    const float r = 1.0f / n;
    const float d = to - from;
    float a, c;
    if (d >= 0.0f)
    {
        a = shape * d;
        c = (1.0f - shape) * d;
    }
    else
    {
        a = (2.0f - shape) * d;
        c = (shape - 1.0f) * d;
    }
    const float r2 = r * r;
    m_slope = a * r + c * r2;
    m_curve = 2.0f * c * r2;
    m_count = CountOf(n);
}

void Note::Stage::SetupLinear(float slope, float samples) noexcept
{
    m_slope = slope;
    m_curve = 0.0f;
    m_count = CountOf(samples);
}

} // namespace Tarn
