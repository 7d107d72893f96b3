// A swarm of drifting points and tumbling cubes sucked into the depth behind the panel.
#pragma once

#include "Effect.h"
#include "Vec.h"

#include <atomic>

namespace TW
{

class Vortex : public Effect
{
public:
    static constexpr int kMaxParticles = 128;
    static constexpr int kMaxCubes = 16;
    static constexpr float kTick = 0.033333335f;

    struct Particle
    {
        Vec3 position, velocity;
        float lifetime = 0.0f, age = 0.0f;
    };
    struct Cube
    {
        Vec3 position, velocity, axis;
        float angle = 0.0f; // degrees
        float lifetime = 0.0f, age = 0.0f;
    };

    // The area in design pixels. Main thread.
    Vortex(Manager* manager, float x, float y, float width, float height);

    // Main thread. Dropped when 16 cubes are live.
    void Launch(float x, float y);

    void Update() override;
    void Render3d() const override;

    int ParticleCount() const noexcept { return m_numParticles; }
    int CubeCount() const noexcept { return m_numCubes.load(std::memory_order_acquire); }
    const Cube& GetCube(int i) const noexcept { return m_cubes[i]; }

private:
    template <class T> void Step(T& body) noexcept;

    Particle m_particles[kMaxParticles];
    int m_numParticles = 0; // drawing thread only
    Cube m_cubes[kMaxCubes];
    std::atomic<int> m_numCubes{0};
    Vec3 m_centre;
    float m_halfWidth, m_halfHeight;
    float m_model[6][4][6]; // per face and corner: normal, position
};

} // namespace TW
