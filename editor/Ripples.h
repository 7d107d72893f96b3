// Expanding light rings where the pointer touches a control.
#pragma once

#include "Effect.h"
#include "Vec.h"

#include <atomic>

namespace TW
{

class Texture;

class Ripples : public Effect
{
public:
    static constexpr int kMaxRipples = 32;
    static constexpr float kTick = 0.033333335f; // seconds per frame, whatever the frame time

    struct Ripple
    {
        Vec3 position;
        Vec4 colour;
        float radius = 0.0f;
        float lifetime = 0.0f;
        float age = 0.0f;
        float growth = 0.0f; // units per second
    };

    Ripples(Manager* manager, Texture* texture);

    // Main thread. Dropped when 32 are live.
    void Trigger(float x, float y, const Vec4& colour, float radius, float lifetime, float growth);

    void Update() override;
    void Render2d() override;

    // Drawing thread (or any thread while the drawing thread is not running).
    int Count() const noexcept { return m_count.load(std::memory_order_acquire); }
    const Ripple& Get(int i) const noexcept { return m_ripples[i]; }
    // A ripple's brightness factor at its age: a fade-in over the first sixth, then out.
    static float Fade(float age, float lifetime) noexcept;

private:
    Texture* m_texture;
    Ripple m_ripples[kMaxRipples];
    std::atomic<int> m_count{0};
};

} // namespace TW
