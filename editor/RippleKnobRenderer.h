// Every knob of the panel drawn in one pass: a glowing disc per knob, a fan of twelve vertices
// (centre and eleven rim points) whose bright pointer spoke turns with the value. The vertices go
// through the ARB vertex program of the bundle resource "knobshader.txt", which lights them under
// the 2D lights; without a usable program the knobs are drawn unshaded.
#pragma once

#include "Effect.h"
#include "Vec.h"

#include <string>
#include <vector>

namespace TW
{

class RippleKnobRenderer : public Effect
{
public:
    static constexpr int kRimPoints = 11;
    static constexpr int kVerticesPerKnob = kRimPoints + 1;
    static constexpr int kFloatsPerVertex = 10; // colour 4, normal 3, position 3 (C4F_N3F_V3F)
    static constexpr const char* kProgramResource = "knobshader.txt";

    struct Knob
    {
        Vec4 colour;
        float x = 0.0f, y = 0.0f; // centre, design pixels
        float radius = 0.0f;
        float angle = 0.0f; // radians, clockwise from straight up
    };

    // bundle: the folder "knobshader.txt" is read from; empty for the plug-in's own bundle.
    // Main thread.
    explicit RippleKnobRenderer(Manager* manager, std::string bundle = std::string());
    ~RippleKnobRenderer() override;

    // Main thread, before drawing starts: a new knob, all zero. Returns its index.
    int Add();
    void SetColour(int index, const Vec4& colour);
    void SetGeometry(int index, float x, float y, float radius);

    // Drawing thread (any thread before drawing starts): stores the angle and, once the vertex
    // buffer exists, turns the knob's rim clockwise by it.
    void SetAngle(int index, float angle);

    // Drawing thread, GL current: the program, then the vertex buffer.
    void InitialiseRendering() override;
    // The vertex buffer of every knob at its stored angle (no GL). Drawing thread.
    void BuildVertices();
    void Render2d() override;
    void ShutdownRendering() override;

    int Count() const noexcept { return static_cast<int>(m_knobs.size()); }
    const Knob& Get(int index) const { return m_knobs[index]; }
    // Drawing thread: the GL program name, 0 when the knobs are drawn unshaded.
    unsigned GetProgram() const noexcept { return m_program; }
    // The knob's twelve vertices (kFloatsPerVertex floats each); null before
    // InitialiseRendering. Drawing thread.
    const float* GetVertices(int index) const;

private:
    void BuildKnob(int index);
    // Creates m_program from the resource's text; 0 when it is missing or does not compile.
    void CreateProgram();

    std::string m_bundle;
    std::vector<Knob> m_knobs;
    std::vector<float> m_vertices; // drawing thread
    unsigned m_program = 0;
};

} // namespace TW
