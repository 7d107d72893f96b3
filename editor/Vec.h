// Small vectors of the effects: positions and colours.
#pragma once

#include <cmath>

namespace TW
{

struct Vec3
{
    float x = 0.0f, y = 0.0f, z = 0.0f;

    Vec3 operator-(const Vec3& o) const noexcept { return {x - o.x, y - o.y, z - o.z}; }
    void Normalise() noexcept
    {
        const float l = std::sqrt(x * x + y * y + z * z);
        if (l > 0.0f)
        {
            x /= l;
            y /= l;
            z /= l;
        }
    }
};

struct Vec4
{
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

} // namespace TW
