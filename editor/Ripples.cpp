#include "Ripples.h"

#include "Manager.h"
#include "Texture.h"

#include <GL/glew.h>

namespace TW
{

Ripples::Ripples(Manager* manager, Texture* texture) : Effect(manager), m_texture(texture) {}

void Ripples::Trigger(float x, float y, const Vec4& colour, float radius, float lifetime,
                      float growth)
{
    const int n = m_count.load(std::memory_order_acquire);
    if (n >= kMaxRipples)
        return;
    Ripple& r = m_ripples[n];
    r.position = {x, y, 0.0f};
    r.colour = colour;
    r.radius = radius;
    r.lifetime = lifetime;
    r.age = 0.0f;
    r.growth = growth;
    m_count.store(n + 1, std::memory_order_release);
}

float Ripples::Fade(float age, float lifetime) noexcept
{
    float f = lifetime > 0.0f ? 6.0f * age / lifetime : 0.0f;
    if (f > 1.0f)
        f = 1.2f - 0.2f * f;
    return f;
}

void Ripples::Update()
{
    if (!Manager::ms_enableEyeCandy)
        return;
    int n = m_count.load(std::memory_order_acquire);
    for (int i = 0; i < n;)
    {
        Ripple& r = m_ripples[i];
        r.age += kTick;
        if (r.age >= r.lifetime)
        {
            r = m_ripples[n - 1];
            --n;
            m_count.store(n, std::memory_order_release);
            continue;
        }
        r.radius += r.growth * kTick;
        ++i;
    }
}

void Ripples::Render2d()
{
    const int n = m_count.load(std::memory_order_acquire);
    if (!Manager::ms_enableEyeCandy || n == 0)
        return;
    if (m_texture)
        m_texture->Bind();
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_QUADS);
    for (int i = 0; i < n; ++i)
    {
        const Ripple& r = m_ripples[i];
        glColor4f(r.colour.r, r.colour.g, r.colour.b, r.colour.a * Fade(r.age, r.lifetime));
        const float x = r.position.x, y = r.position.y, s = r.radius;
        glTexCoord2f(0.0f, 0.0f);
        glVertex2f(x - s, y - s);
        glTexCoord2f(1.0f, 0.0f);
        glVertex2f(x + s, y - s);
        glTexCoord2f(1.0f, 1.0f);
        glVertex2f(x + s, y + s);
        glTexCoord2f(0.0f, 1.0f);
        glVertex2f(x - s, y + s);
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_ALPHA_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
}

} // namespace TW
