#include "EnvSelMultiSlider.h"

#include <GL/glew.h>

namespace TW
{

EnvSelMultiSlider::EnvSelMultiSlider(Manager* manager, Ripples* ripples, Vortex* vortex,
                                     int firstParamIndex, int count, float x, float y, float width,
                                     float height)
    : RippleMultiSlider(manager, ripples, vortex, firstParamIndex, count, x, y, width, height)
{
}

void EnvSelMultiSlider::Render() const
{
    const Bounds& b = m_bounds;
    const float w = b.Width(), h = b.Height();
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
        glColor4f(0.0f, 0.5f * v + 0.5f, 1.0f - 0.5f * v, 0.75f);
        const float cx = b.minX + (i + 0.5f) / m_count * w, cy = b.minY + v * h;
        const float hw = 0.4f * w / m_count, hh = 0.125f * h;
        glNormal3fv(normals[0]);
        glVertex2f(cx - hw, cy - hh);
        glNormal3fv(normals[1]);
        glVertex2f(cx + hw, cy - hh);
        glNormal3fv(normals[2]);
        glVertex2f(cx + hw, cy + hh);
        glNormal3fv(normals[3]);
        glVertex2f(cx - hw, cy + hh);
    }
    glEnd();
    glDisable(GL_LIGHTING);
    if (program)
        glDisable(GL_VERTEX_PROGRAM_ARB);
    glDisable(GL_BLEND);
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
