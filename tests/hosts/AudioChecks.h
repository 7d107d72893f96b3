// Measurements on rendered audio shared by the plug-in host tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace VellunaHostTest
{

// Index of the first sample whose magnitude exceeds threshold, or -1.
inline long FirstSoundingFrame(const std::vector<float>& x, float threshold = 1e-7f)
{
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold)
            return static_cast<long>(i);
    return -1;
}

inline float Peak(const std::vector<float>& x, std::size_t from = 0)
{
    float peak = 0.0f;
    for (std::size_t i = from; i < x.size(); ++i)
        peak = std::fmax(peak, std::fabs(x[i]));
    return peak;
}

// Fundamental frequency (Hz) of a steady tone from its upward zero crossings in x[from, to),
// interpolated between samples. 0 when there are fewer than two crossings.
inline double ZeroCrossingPitch(const std::vector<float>& x, std::size_t from, std::size_t to,
                                double sampleRate)
{
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to && i < x.size(); ++i)
        if (x[i - 1] < 0.0f && x[i] >= 0.0f)
        {
            const double t = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0.0)
                first = t;
            last = t;
            ++crossings;
        }
    if (crossings < 2)
        return 0.0;
    return sampleRate * (crossings - 1) / (last - first);
}

// Fundamental frequency (Hz) from the median distance between upward zero crossings in
// x[from, to): robust against a few glitches (dropped cycles of a busy audio server).
inline double MedianPeriodPitch(const std::vector<float>& x, std::size_t from, std::size_t to,
                                double sampleRate)
{
    std::vector<double> crossings, periods;
    for (std::size_t i = from + 1; i < to && i < x.size(); ++i)
        if (x[i - 1] < 0.0f && x[i] >= 0.0f)
            crossings.push_back(static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]));
    for (std::size_t i = 1; i < crossings.size(); ++i)
        periods.push_back(crossings[i] - crossings[i - 1]);
    if (periods.empty())
        return 0.0;
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return sampleRate / periods[periods.size() / 2];
}

} // namespace VellunaHostTest
