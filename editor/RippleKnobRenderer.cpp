#include "RippleKnobRenderer.h"

#include "core/FileLoader.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace TW
{

namespace
{

// The rim template: point i at angle i * 0.2 pi clockwise from straight up (point 10 closes the
// circle on point 0, the pointer), with normals leaning outward at 45 degrees.
struct RimTemplate
{
    float px[RippleKnobRenderer::kRimPoints], py[RippleKnobRenderer::kRimPoints];
    float nx[RippleKnobRenderer::kRimPoints], ny[RippleKnobRenderer::kRimPoints];
    float nz = 0.7f;

    RimTemplate()
    {
        for (int i = 0; i < RippleKnobRenderer::kRimPoints; ++i)
        {
            const double a = i * 0.2 * 3.14159265358979323846;
            px[i] = static_cast<float>(std::sin(a));
            py[i] = static_cast<float>(std::cos(a));
            nx[i] = 0.7f * px[i];
            ny[i] = 0.7f * py[i];
        }
    }
};

const RimTemplate& Rim()
{
    static const RimTemplate rim;
    return rim;
}

} // namespace

RippleKnobRenderer::RippleKnobRenderer(Manager* manager, std::string bundle)
    : Effect(manager), m_bundle(std::move(bundle))
{
    Rim();
}

RippleKnobRenderer::~RippleKnobRenderer() = default;

int RippleKnobRenderer::Add()
{
    m_knobs.emplace_back();
    return static_cast<int>(m_knobs.size()) - 1;
}

void RippleKnobRenderer::SetColour(int index, const Vec4& colour)
{
    if (index >= 0 && index < Count())
        m_knobs[index].colour = colour;
}

void RippleKnobRenderer::SetGeometry(int index, float x, float y, float radius)
{
    if (index < 0 || index >= Count())
        return;
    Knob& k = m_knobs[index];
    k.x = x;
    k.y = y;
    k.radius = radius;
}

const float* RippleKnobRenderer::GetVertices(int index) const
{
    if (index < 0 || index >= Count() ||
        m_vertices.size() < m_knobs.size() * kVerticesPerKnob * kFloatsPerVertex)
        return nullptr;
    return m_vertices.data() +
           static_cast<std::size_t>(index) * kVerticesPerKnob * kFloatsPerVertex;
}

void RippleKnobRenderer::CreateProgram()
{
    FileLoader shader(kProgramResource, m_bundle.empty() ? nullptr : m_bundle.c_str());
    if (!shader.GetData())
    {
        std::fprintf(stderr, "%s not found: knobs drawn unshaded\n", kProgramResource);
        return;
    }
    if (!GLEW_ARB_vertex_program)
    {
        std::fprintf(stderr, "no GL_ARB_vertex_program: knobs drawn unshaded\n");
        return;
    }
    while (glGetError() != GL_NO_ERROR)
    {
    }
    GLuint program = 0;
    glGenProgramsARB(1, &program);
    glBindProgramARB(GL_VERTEX_PROGRAM_ARB, program);
    glProgramStringARB(GL_VERTEX_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB,
                       static_cast<GLsizei>(shader.GetSize()), shader.GetData());
    GLint errorPosition = -1;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &errorPosition);
    const bool failed = glGetError() != GL_NO_ERROR || errorPosition != -1;
    if (failed)
    {
        const GLubyte* text = glGetString(GL_PROGRAM_ERROR_STRING_ARB);
        std::fprintf(stderr, "error at position: %d\n%s\n", errorPosition,
                     text ? reinterpret_cast<const char*>(text) : "");
        glBindProgramARB(GL_VERTEX_PROGRAM_ARB, 0);
        glDeleteProgramsARB(1, &program);
        return;
    }
    m_program = program;
}

void RippleKnobRenderer::InitialiseRendering()
{
    CreateProgram();
    BuildVertices();
}

void RippleKnobRenderer::BuildVertices()
{
    m_vertices.assign(m_knobs.size() * kVerticesPerKnob * kFloatsPerVertex, 0.0f);
    for (int i = 0; i < Count(); ++i)
        BuildKnob(i);
}

void RippleKnobRenderer::BuildKnob(int index)
{
    const Knob& k = m_knobs[index];
    float* v =
        m_vertices.data() + static_cast<std::size_t>(index) * kVerticesPerKnob * kFloatsPerVertex;
    const float centre[kFloatsPerVertex] = {k.colour.r, k.colour.g, k.colour.b, k.colour.a, 0.0f,
                                            0.0f,       1.0f,       k.x,        k.y,        0.0f};
    std::memcpy(v, centre, sizeof centre);
    for (int i = 0; i < kRimPoints; ++i)
    {
        float* rim = v + (i + 1) * kFloatsPerVertex;
        const bool pointer = i == 0 || i == kRimPoints - 1;
        rim[0] = pointer ? k.colour.r : 0.5f * k.colour.r;
        rim[1] = pointer ? k.colour.g : 0.5f * k.colour.g;
        rim[2] = k.colour.b;
        rim[3] = pointer ? 0.75f * k.colour.a : 0.0f;
    }
    SetAngle(index, k.angle);
}

void RippleKnobRenderer::SetAngle(int index, float angle)
{
    if (index < 0 || index >= Count())
        return;
    Knob& k = m_knobs[index];
    k.angle = angle;
    if (m_vertices.size() < m_knobs.size() * kVerticesPerKnob * kFloatsPerVertex)
        return;
    const RimTemplate& t = Rim();
    const float c = std::cos(angle), s = std::sin(angle), r = k.radius;
    float* v =
        m_vertices.data() + static_cast<std::size_t>(index) * kVerticesPerKnob * kFloatsPerVertex;
    for (int i = 0; i < kRimPoints; ++i)
    {
        float* rim = v + (i + 1) * kFloatsPerVertex;
        rim[4] = c * t.nx[i] + s * t.ny[i];
        rim[5] = c * t.ny[i] - s * t.nx[i];
        rim[6] = t.nz;
        rim[7] = k.x + r * (c * t.px[i] + s * t.py[i]);
        rim[8] = k.y + r * (c * t.py[i] - s * t.px[i]);
        rim[9] = 0.0f;
    }
}

void RippleKnobRenderer::Render2d()
{
    if (m_knobs.empty() || m_vertices.empty())
        return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    if (m_program)
    {
        glBindProgramARB(GL_VERTEX_PROGRAM_ARB, m_program);
        glEnable(GL_VERTEX_PROGRAM_ARB);
    }
    glInterleavedArrays(GL_C4F_N3F_V3F, 0, m_vertices.data());
    for (int i = 0; i < Count(); ++i)
        glDrawArrays(GL_TRIANGLE_FAN, i * kVerticesPerKnob, kVerticesPerKnob);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    // The program stays bound: the slider banks switch it on for their own bars.
    if (m_program)
        glDisable(GL_VERTEX_PROGRAM_ARB);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
}

void RippleKnobRenderer::ShutdownRendering()
{
    if (m_program)
    {
        glBindProgramARB(GL_VERTEX_PROGRAM_ARB, 0);
        glDeleteProgramsARB(1, &m_program);
        m_program = 0;
    }
    m_vertices.clear();
}

} // namespace TW
