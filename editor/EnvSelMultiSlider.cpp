#include "EnvSelMultiSlider.h"

namespace TW
{

EnvSelMultiSlider::EnvSelMultiSlider(Manager* manager, Ripples* ripples, Vortex* vortex,
                                     int firstParamIndex, int count, float x, float y, float width,
                                     float height)
    : RippleMultiSlider(manager, ripples, vortex, firstParamIndex, count, x, y, width, height)
{
}

void EnvSelMultiSlider::LitBar(int index, float (&c)[4], float& y0, float& y1) const
{
    const float v = GetNormalisedValue(index), h = m_bounds.Height();
    c[0] = 0.0f;
    c[1] = 0.5f * v + 0.5f;
    c[2] = 1.0f - 0.5f * v;
    c[3] = 0.75f;
    const float cy = m_bounds.minY + v * h;
    y0 = cy - 0.125f * h;
    y1 = cy + 0.125f * h;
}

void EnvSelMultiSlider::MouseEntered(int index)
{
    const Bounds& b = m_bounds;
    const float v = GetNormalisedValue(index), w = b.Width();
    TriggerRipple(b.minX + (index + 0.5f) / m_count * w, b.minY + v * b.Height(), 0.0f,
                  0.5f * v + 0.5f, 1.0f - 0.5f * v, 0.5f, w * 0.5f / m_count);
    RippleMultiSlider::MouseEntered(index);
}

} // namespace TW
