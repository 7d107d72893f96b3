#include "Vortex.h"

#include "Manager.h"

#include <GL/glew.h>

#include <cstdlib>

namespace TW
{

namespace
{

float RandomSigned() noexcept // uniform in [-1, 1)
{
    return (static_cast<float>(std::rand()) - 1073741824.0f) * (1.0f / 1073741824.0f);
}

} // namespace

Vortex::Vortex(Manager* manager, float x, float y, float width, float height)
    : Effect(manager), m_centre{x, y, -5000.0f}, m_halfWidth(0.5f * width),
      m_halfHeight(0.5f * height)
{
    // Faces +x, -x, +y, -y, +z, -z; the cube spans -6..6.
    for (int f = 0; f < 6; ++f)
    {
        const int axis = f / 2;
        const float sign = (f % 2) ? -1.0f : 1.0f;
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (int c = 0; c < 4; ++c)
        {
            float* vert = m_model[f][c];
            for (int k = 0; k < 3; ++k)
                vert[k] = k == axis ? sign : 0.0f;
            float pos[3];
            pos[axis] = 6.0f * sign;
            // Counter-clockwise seen from outside the face.
            pos[u] = 6.0f * corners[c][0];
            pos[v] = 6.0f * corners[c][1] * sign;
            for (int k = 0; k < 3; ++k)
                vert[3 + k] = pos[k];
        }
    }
}

void Vortex::Launch(float x, float y)
{
    const int n = m_numCubes.load(std::memory_order_acquire);
    if (n >= kMaxCubes)
        return;
    Cube& c = m_cubes[n];
    c.position = {x, y, -6.0f};
    c.velocity = {};
    c.angle = 0.0f;
    c.lifetime = 5.0f;
    c.age = 0.0f;
    c.axis = {RandomSigned(), RandomSigned(), RandomSigned()};
    c.axis.Normalise();
    m_numCubes.store(n + 1, std::memory_order_release);
}

template <class T> void Vortex::Step(T& body) noexcept
{
    const Vec3 d = m_centre - body.position;
    body.velocity.x += 0.01f * d.y + 0.002f * d.x;
    body.velocity.y += -0.01f * d.x + 0.002f * d.y;
    body.velocity.z += 0.002f * d.z;
    body.position.x += body.velocity.x * kTick;
    body.position.y += body.velocity.y * kTick;
    body.position.z += body.velocity.z * kTick;
}

void Vortex::Update()
{
    if (!Manager::ms_enableEyeCandy)
        return;
    for (int i = 0; i < m_numParticles;)
    {
        Particle& p = m_particles[i];
        p.age += kTick;
        if (p.age >= p.lifetime)
        {
            p = m_particles[--m_numParticles];
            continue;
        }
        Step(p);
        ++i;
    }
    int n = m_numCubes.load(std::memory_order_acquire);
    for (int i = 0; i < n;)
    {
        Cube& c = m_cubes[i];
        c.age += kTick;
        if (c.age >= c.lifetime)
        {
            c = m_cubes[--n];
            m_numCubes.store(n, std::memory_order_release);
            continue;
        }
        Step(c);
        c.angle += 3.3333335f;
        ++i;
    }
    if (m_numParticles < kMaxParticles)
    {
        const float r = (static_cast<float>(std::rand()) - 1073741824.0f) * 3.0516647e-5f;
        if (r < 1000.0f)
        {
            const float u =
                ((static_cast<float>(std::rand()) - 1073741824.0f) * 3.0516647e-5f + 32767.0f) /
                32767.0f;
            const float v =
                ((static_cast<float>(std::rand()) - 1073741824.0f) * 3.0516647e-5f + 32767.0f) /
                32767.0f;
            Particle& p = m_particles[m_numParticles++];
            p.position = {u * m_halfWidth, v * m_halfHeight, -1.0f};
            p.velocity = {};
            p.lifetime = 5.0f;
            p.age = 0.0f;
        }
    }
}

void Vortex::Render3d() const
{
    const int cubes = m_numCubes.load(std::memory_order_acquire);
    if (!Manager::ms_enableEyeCandy || (m_numParticles == 0 && cubes == 0))
        return;
    const float fog[4] = {0.0f, 0.0f, 0.1f, 0.0f};
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 300.0f);
    glFogf(GL_FOG_END, 2000.0f);
    glFogfv(GL_FOG_COLOR, fog);
    glDisable(GL_LIGHTING);
    glColor4f(0.8f, 0.8f, 1.0f, 1.0f);
    glBegin(GL_POINTS);
    for (int i = 0; i < m_numParticles; ++i)
        glVertex3f(m_particles[i].position.x, m_particles[i].position.y, m_particles[i].position.z);
    glEnd();
    glEnable(GL_LIGHTING);
    glColor4f(0.4f, 0.4f, 0.6f, 1.0f);
    for (int i = 0; i < cubes; ++i)
    {
        const Cube& c = m_cubes[i];
        glPushMatrix();
        glTranslatef(c.position.x, c.position.y, c.position.z);
        glRotatef(c.angle, c.axis.x, c.axis.y, c.axis.z);
        glBegin(GL_QUADS);
        for (const auto& face : m_model)
            for (const auto& corner : face)
            {
                glNormal3fv(corner);
                glVertex3fv(corner + 3);
            }
        glEnd();
        glPopMatrix();
    }
    glDisable(GL_FOG);
}

} // namespace TW
