#include "SpectrumAnalysis.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>

namespace TarnTest
{
namespace
{

void Fft(std::vector<std::complex<double>>& a)
{
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i)
    {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1)
    {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len)
        {
            std::complex<double> w(1.0);
            for (std::size_t k = 0; k < len / 2; ++k)
            {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

} // namespace

std::vector<double> MagnitudeSpectrum(const std::vector<float>& x, std::size_t start, std::size_t n,
                                      Window window)
{
    if (n < 2 || (n & (n - 1)) != 0)
        throw std::invalid_argument("FFT length must be a power of two");
    std::vector<std::complex<double>> a(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        const double t = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
        const double w = window == Window::Hann
                             ? 0.5 - 0.5 * std::cos(t)
                             : 0.355768 - 0.487396 * std::cos(t) + 0.144232 * std::cos(2 * t) -
                                   0.012604 * std::cos(3 * t);
        a[i] = start + i < x.size() ? w * x[start + i] : 0.0;
    }
    Fft(a);
    std::vector<double> magnitudes(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k)
        magnitudes[k] = std::abs(a[k]);
    return magnitudes;
}

double SpectralCentroid(const std::vector<double>& magnitudes, double sampleRate)
{
    const double binHz = sampleRate / (2.0 * static_cast<double>(magnitudes.size() - 1));
    double weighted = 0.0, total = 0.0;
    for (std::size_t k = 1; k < magnitudes.size(); ++k)
    {
        const double power = magnitudes[k] * magnitudes[k];
        weighted += power * static_cast<double>(k) * binHz;
        total += power;
    }
    return total > 0.0 ? weighted / total : 0.0;
}

double PowerShareAbove(const std::vector<double>& magnitudes, double sampleRate, double hz)
{
    const double binHz = sampleRate / (2.0 * static_cast<double>(magnitudes.size() - 1));
    double above = 0.0, total = 0.0;
    for (std::size_t k = 1; k < magnitudes.size(); ++k)
    {
        const double power = magnitudes[k] * magnitudes[k];
        total += power;
        if (static_cast<double>(k) * binHz > hz)
            above += power;
    }
    return total > 0.0 ? above / total : 0.0;
}

double Rms(const std::vector<float>& x, std::size_t start, std::size_t count)
{
    double sum = 0.0;
    std::size_t n = 0;
    for (std::size_t i = start; i < start + count && i < x.size(); ++i, ++n)
        sum += static_cast<double>(x[i]) * x[i];
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

double Peak(const std::vector<float>& x)
{
    double peak = 0.0;
    for (float v : x)
        peak = std::max(peak, static_cast<double>(std::fabs(v)));
    return peak;
}

} // namespace TarnTest
