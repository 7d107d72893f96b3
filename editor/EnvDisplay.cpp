#include "EnvDisplay.h"

#include "LineDrawing.h"
#include "Manager.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace TW
{

EnvDisplay::EnvDisplay(Manager* manager, int firstParamIndex, int attackStages, int releaseStages,
                       float endlessTime, float x, float y, float width, float height)
    : UIElement(manager), m_bounds(x, y, x + width, y + height), m_first(firstParamIndex),
      m_a(std::max(0, attackStages)), m_r(std::max(0, releaseStages)), m_endless(endlessTime)
{
    const int n = m_a + m_r;
    m_values.assign(static_cast<std::size_t>(3 * n), 0.0f);
    m_fixed.assign(m_values.size(), false);
    m_points.assign(2 * static_cast<std::size_t>(std::max(0.0f, width) + n + 1), 0.0f);
    for (int i = 0; i + 1 < 3 * n; ++i)
        m_values[i] = manager->GetParameterValue(m_first + i);
}

void EnvDisplay::SetFixed(int i, float value)
{
    if (i < 0 || i + 1 >= static_cast<int>(m_values.size()))
        return;
    m_values[i] = value;
    m_fixed[i] = true;
    m_dirty = true;
}

void EnvDisplay::Update()
{
    for (int i = 0; i + 1 < static_cast<int>(m_values.size()); ++i)
    {
        if (m_fixed[i])
            continue;
        const float v = m_manager->GetParameterValue(m_first + i);
        if (v != m_values[i])
        {
            m_values[i] = v;
            m_dirty = true;
        }
    }
}

void EnvDisplay::AddPoint(float x, float y) const
{
    if (2 * m_count + 1 >= static_cast<int>(m_points.size()))
        return;
    m_points[2 * m_count] = x;
    m_points[2 * m_count + 1] = y;
    ++m_count;
}

void EnvDisplay::Build() const
{
    const int n = m_a + m_r;
    const float* T = m_values.data();
    const float* S = T + n;
    const float* L = S + n; // L[n - 1] is the final 0
    int drawnRelease = m_r;
    if (m_r > 0 && T[n - 1] == m_endless)
        --drawnRelease;
    float total = 1.0f;
    for (int i = 0; i < m_a + drawnRelease; ++i)
        total += std::max(0.0f, T[i]);
    const float px = m_bounds.Width() / total;
    m_count = 0;
    float x = 0.0f, y = 0.0f;
    AddPoint(0.0f, 0.0f);
    auto stage = [&](int i)
    {
        const float d = std::max(0.0f, T[i]) * px;
        const float target = L[i];
        const float delta = target - y;
        const float s = S[i];
        if (d >= 1.0f)
        {
            const int samples = static_cast<int>(std::floor(d));
            for (int k = 0; k < samples; ++k)
            {
                const float u = static_cast<float>(k) / d;
                const float shape =
                    target >= y ? s * u + (1.0f - s) * u * u : (2.0f - s) * u + (s - 1.0f) * u * u;
                AddPoint(x + static_cast<float>(k), y + delta * shape);
            }
        }
        x += d;
        AddPoint(x, target);
        y = target;
    };
    for (int i = 0; i < m_a; ++i)
        stage(i);
    x += px;
    AddPoint(x, y);
    for (int i = m_a; i < m_a + drawnRelease; ++i)
        stage(i);
    m_dirty = false;
}

void EnvDisplay::Render() const
{
    if (m_dirty)
        Build();
    const SmoothLineScope lines(m_bounds.minX, m_bounds.minY, m_bounds.Height());
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < m_count; ++i)
        glVertex2f(m_points[2 * i], m_points[2 * i + 1]);
    glEnd();
}

} // namespace TW
