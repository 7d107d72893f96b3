#include "RippleMultiSlider.h"

#include "Ripples.h"
#include "Vortex.h"

#include <GL/glew.h>

namespace TW
{

RippleMultiSlider::RippleMultiSlider(Manager* manager, Ripples* ripples, Vortex* vortex,
                                     int firstParamIndex, int count, float x, float y, float width,
                                     float height)
    : MultiSlider(manager, firstParamIndex, count, x, y, width, height), m_ripples(ripples),
      m_vortex(vortex)
{
}

void RippleMultiSlider::MouseDown(const Point& p, unsigned modifiers, int clickCount)
{
    if (m_vortex)
        m_vortex->Launch(p.x, p.y);
    MultiSlider::MouseDown(p, modifiers, clickCount);
}

void RippleMultiSlider::Render() const
{
    // The corner normals of a bevelled bar.
    static const float kNormals[4][3] = {
        {-0.6f, -0.6f, 0.6f}, {0.6f, -0.6f, 0.6f}, {0.6f, 0.6f, 0.6f}, {-0.6f, 0.6f, 0.6f}};
    const Bounds& b = m_bounds;
    const float w = b.Width(), hw = 0.4f * w / m_count;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GLint program = 0;
    if (GLEW_ARB_vertex_program)
        glGetProgramivARB(GL_VERTEX_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &program);
    if (program)
        glEnable(GL_VERTEX_PROGRAM_ARB);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glBegin(GL_QUADS);
    for (int i = 0; i < m_count; ++i)
    {
        float colour[4], y0, y1;
        LitBar(i, colour, y0, y1);
        glColor4fv(colour);
        const float cx = b.minX + (i + 0.5f) / m_count * w;
        glNormal3fv(kNormals[0]);
        glVertex2f(cx - hw, y0);
        glNormal3fv(kNormals[1]);
        glVertex2f(cx + hw, y0);
        glNormal3fv(kNormals[2]);
        glVertex2f(cx + hw, y1);
        glNormal3fv(kNormals[3]);
        glVertex2f(cx - hw, y1);
    }
    glEnd();
    glDisable(GL_LIGHTING);
    if (program)
        glDisable(GL_VERTEX_PROGRAM_ARB);
    glDisable(GL_BLEND);
}

void RippleMultiSlider::TriggerRipple(float x, float y, float r, float g, float b, float a,
                                      float size)
{
    if (m_ripples)
        m_ripples->Trigger(x, y, Vec4{r, g, b, a}, size, 2.0f, 30.0f);
}

} // namespace TW
