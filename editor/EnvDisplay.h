// The shape of an envelope drawn from its time, shape and level parameters: attack stages, a
// one-second sustain plateau, then the release stages (an endless last stage is left out).
#pragma once

#include "UIElement.h"

#include <vector>

namespace TW
{

class EnvDisplay : public UIElement
{
public:
    // The parameter block: a + r times, a + r shapes, a + r - 1 levels, from firstParamIndex.
    // endlessTime: a last release time that means "endless" (-1: none).
    EnvDisplay(Manager* manager, int firstParamIndex, int attackStages, int releaseStages,
               float endlessTime, float x, float y, float width, float height);

    // Holds the value at offset i of the block fixed (not polled). Main thread, at layout.
    void SetFixed(int i, float value);

    void ExtendBounds(Bounds& b) const override { b.Expand(m_bounds); }
    void Update() override;
    void Render() const override;

    void Build() const;
    // Points as x (pixels from the left) and level (0..1) pairs.
    const std::vector<float>& Points() const noexcept { return m_points; }
    int PointCount() const noexcept { return m_count; }

private:
    void AddPoint(float x, float y) const;

    Bounds m_bounds;
    int m_first, m_a, m_r;
    float m_endless;
    std::vector<float> m_values; // 3 (a + r) values, the last level always 0
    std::vector<bool> m_fixed;
    mutable std::vector<float> m_points;
    mutable int m_count = 0;
    mutable bool m_dirty = true;
};

} // namespace TW
