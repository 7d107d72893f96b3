#include "LineDrawing.h"

#include <GL/glew.h>

namespace TW
{

void DrawOutline(const Bounds& b, float inset)
{
    glBegin(GL_LINE_LOOP);
    glVertex2f(b.minX + inset, b.minY + inset);
    glVertex2f(b.maxX - inset, b.minY + inset);
    glVertex2f(b.maxX - inset, b.maxY - inset);
    glVertex2f(b.minX + inset, b.maxY - inset);
    glEnd();
}

SmoothLineScope::SmoothLineScope(float x, float y, float yScale)
{
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPushMatrix();
    glTranslatef(x, y, 0.0f);
    glScalef(1.0f, yScale, 1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 0.75f);
}

SmoothLineScope::~SmoothLineScope()
{
    glPopMatrix();
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
}

} // namespace TW
