// One cycle of the waveform that the partial levels and the pulse width make, always scaled to
// fill the height.
#pragma once

#include "ParameterDescription.h"
#include "UIElement.h"

#include <vector>

namespace TW
{

class AdditiveWaveform : public UIElement
{
public:
    static constexpr int kMaxPartials = 16;

    AdditiveWaveform(Manager* manager, int firstParamIndex, int count, int shapeParamIndex, float x,
                     float y, float width, float height);

    void ExtendBounds(Bounds& b) const override { b.Expand(m_bounds); }
    void Update() override;
    void Render() const override;

    // Drawing thread (or any one thread at a time): the line for the last seen values.
    void Build() const;
    const std::vector<float>& Points() const noexcept { return m_y; }
    float Peak() const noexcept { return m_peak; }

private:
    Bounds m_bounds;
    int m_first, m_count, m_shape;
    float m_levels[kMaxPartials] = {};
    float m_pulseWidth = 0.0f;
    mutable std::vector<float> m_y; // one value per pixel column
    mutable float m_peak = 1e-10f;
    mutable bool m_dirty = true;
};

} // namespace TW
