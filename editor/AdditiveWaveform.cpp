#include "AdditiveWaveform.h"

#include "LineDrawing.h"
#include "Manager.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace TW
{

namespace
{

// sin(2 pi f) by folding f into a triangle over -0.25..0.25 and an odd polynomial.
float FoldedSine(float x) noexcept
{
    const float f = x - std::trunc(x);
    const float a = std::max(std::min(f - 0.5f, 1.0f - f), -f);
    const float a2 = a * a;
    return -(a * (-6.2831855f +
                  a2 * (41.34168f + a2 * (-81.602234f + a2 * (76.574974f + a2 * -39.710674f)))));
}

} // namespace

AdditiveWaveform::AdditiveWaveform(Manager* manager, int firstParamIndex, int count,
                                   int shapeParamIndex, float x, float y, float width, float height)
    : UIElement(manager), m_bounds(x, y, x + width, y + height), m_first(firstParamIndex),
      m_count(std::clamp(count, 0, kMaxPartials)), m_shape(shapeParamIndex),
      m_y(static_cast<std::size_t>(std::max(0.0f, width)))
{
}

void AdditiveWaveform::Update()
{
    for (int k = 0; k < m_count; ++k)
    {
        const float v = m_manager->GetParameterValue(m_first + k);
        if (v != m_levels[k])
        {
            m_levels[k] = v;
            m_dirty = true;
        }
    }
    const float p = m_manager->GetParameterValue(m_shape);
    if (p != m_pulseWidth)
    {
        m_pulseWidth = p;
        m_dirty = true;
    }
}

void AdditiveWaveform::Build() const
{
    const float width = m_bounds.Width();
    const float step = width > 1.0f ? 1.0f / (width - 1.0f) : 0.0f;
    const float p = std::clamp(m_pulseWidth, 1e-6f, 1.0f - 1e-6f);
    float x = 1e-10f;
    m_peak = 1e-10f;
    for (float& y : m_y)
    {
        const float t = x <= p ? 0.5f * x / p : (0.5f * x + 0.5f - p) / (1.0f - p);
        float sum = 0.0f;
        for (int k = 0; k < m_count; ++k)
            sum += m_levels[k] * FoldedSine(static_cast<float>(k + 1) * t);
        y = sum;
        m_peak = std::max(m_peak, std::fabs(sum));
        x += step;
    }
    m_dirty = false;
}

void AdditiveWaveform::Render() const
{
    if (m_dirty)
        Build();
    const float scale = m_peak > 1e-6f ? 0.5f * m_bounds.Height() / m_peak : 0.0f;
    const SmoothLineScope lines(m_bounds.minX, m_bounds.CentreY(), scale);
    glBegin(GL_LINE_STRIP);
    for (std::size_t i = 0; i < m_y.size(); ++i)
        glVertex2f(static_cast<float>(i), m_y[i]);
    glEnd();
}

} // namespace TW
