// An axis-aligned box in editor coordinates (design pixels; elements are flat, z = 0).
#pragma once

#include "Point.h"

#include <algorithm>

namespace TW
{

struct Bounds
{
    static constexpr float kEmpty = 1e10f;

    float minX = kEmpty, minY = kEmpty, minZ = kEmpty;
    float maxX = -kEmpty, maxY = -kEmpty, maxZ = -kEmpty;

    Bounds() = default;
    Bounds(float x0, float y0, float x1, float y1) noexcept
        : minX(x0), minY(y0), minZ(0.0f), maxX(x1), maxY(y1), maxZ(0.0f)
    {
    }

    bool IsEmpty() const noexcept { return minX > maxX || minY > maxY; }

    // The per-axis union.
    void Expand(const Bounds& other) noexcept
    {
        minX = std::min(minX, other.minX);
        minY = std::min(minY, other.minY);
        minZ = std::min(minZ, other.minZ);
        maxX = std::max(maxX, other.maxX);
        maxY = std::max(maxY, other.maxY);
        maxZ = std::max(maxZ, other.maxZ);
    }

    void Translate(float dx, float dy, float dz) noexcept
    {
        if (IsEmpty())
            return;
        minX += dx;
        maxX += dx;
        minY += dy;
        maxY += dy;
        minZ += dz;
        maxZ += dz;
    }

    // Edges included.
    bool Contains(const Point& p) const noexcept
    {
        return p.x >= minX && p.x <= maxX && p.y >= minY && p.y <= maxY;
    }

    float Width() const noexcept { return IsEmpty() ? 0.0f : maxX - minX; }
    float Height() const noexcept { return IsEmpty() ? 0.0f : maxY - minY; }
    float CentreX() const noexcept { return 0.5f * (minX + maxX); }
    float CentreY() const noexcept { return 0.5f * (minY + maxY); }
};

} // namespace TW
