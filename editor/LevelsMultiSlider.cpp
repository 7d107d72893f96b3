#include "LevelsMultiSlider.h"

#include <cmath>

namespace TW
{

LevelsMultiSlider::LevelsMultiSlider(Manager* manager, Ripples* ripples, Vortex* vortex,
                                     int firstParamIndex, int count, float x, float y, float width,
                                     float height)
    : RippleMultiSlider(manager, ripples, vortex, firstParamIndex, count, x, y, width, height)
{
}

void LevelsMultiSlider::BarColour(float v, float (&c)[4]) noexcept
{
    if (v >= 0.5f)
    {
        c[0] = 0.0f;
        c[1] = v;
        c[2] = 1.5f - v;
    }
    else
    {
        c[0] = 1.0f - v;
        c[1] = 0.0f;
        c[2] = v + 0.5f;
    }
    c[3] = 0.75f;
}

void LevelsMultiSlider::LitBar(int index, float (&c)[4], float& y0, float& y1) const
{
    const float v = GetNormalisedValue(index), h = m_bounds.Height();
    const float middle = m_bounds.minY + 0.5f * h;
    BarColour(v, c);
    // A level of 0 still shows as a bar one pixel high.
    float end = m_bounds.minY + v * h;
    if (std::fabs(v - 0.5f) * h < 1.0f)
        end = middle + 1.0f;
    y0 = std::fmin(middle, end);
    y1 = std::fmax(middle, end);
}

void LevelsMultiSlider::MouseEntered(int index)
{
    const Bounds& b = m_bounds;
    const float v = GetNormalisedValue(index), w = b.Width();
    float c[4];
    BarColour(v, c);
    const float cx = b.minX + (index + 0.5f) / m_count * w;
    TriggerRipple(cx, b.minY + v * b.Height(), c[0], c[1], c[2], 1.0f,
                  w * (std::fabs(v - 0.5f) * 0.8f + 0.1f) / m_count);
    RippleMultiSlider::MouseEntered(index);
}

} // namespace TW
