#include "LevelsMultiSlider.h"

#include <GL/glew.h>

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

void LevelsMultiSlider::Render() const
{
    const Bounds& b = m_bounds;
    const float w = b.Width(), h = b.Height(), middle = b.minY + 0.5f * h;
    float normals[4][3];
    BarNormals(normals);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const bool program = EnableKnobProgram();
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glBegin(GL_QUADS);
    for (int i = 0; i < m_count; ++i)
    {
        const float v = GetNormalisedValue(i);
        float colour[4];
        BarColour(v, colour);
        glColor4fv(colour);
        const float cx = b.minX + (i + 0.5f) / m_count * w, hw = 0.4f * w / m_count;
        float end = b.minY + v * h;
        if (std::fabs(v - 0.5f) * h < 1.0f)
            end = middle + 1.0f;
        const float y0 = std::fmin(middle, end), y1 = std::fmax(middle, end);
        glNormal3fv(normals[0]);
        glVertex2f(cx - hw, y0);
        glNormal3fv(normals[1]);
        glVertex2f(cx + hw, y0);
        glNormal3fv(normals[2]);
        glVertex2f(cx + hw, y1);
        glNormal3fv(normals[3]);
        glVertex2f(cx - hw, y1);
    }
    glEnd();
    glDisable(GL_LIGHTING);
    if (program)
        glDisable(GL_VERTEX_PROGRAM_ARB);
    glDisable(GL_BLEND);
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
