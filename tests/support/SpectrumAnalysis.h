// Measurements of rendered audio for tests: level, spectrum and how they move.
#pragma once

#include <cstddef>
#include <vector>

namespace TarnTest
{

// Hann: side lobes from -31 dB, falling fast. Nuttall (four terms): side lobes below -93 dB,
// for measurements that must see components 90 dB below the strongest.
enum class Window
{
    Hann,
    Nuttall,
};

// Magnitudes of bins 0..n/2 of a windowed n-point FFT of x[start..start+n) (n a power of two;
// samples past the end count as 0).
std::vector<double> MagnitudeSpectrum(const std::vector<float>& x, std::size_t start, std::size_t n,
                                      Window window = Window::Hann);

// Power-weighted mean frequency of a magnitude spectrum of an n-point FFT at a sample rate, Hz.
// 0 for a silent spectrum.
double SpectralCentroid(const std::vector<double>& magnitudes, double sampleRate);

// Share of the power above a frequency (Hz), 0..1; 0 for a silent spectrum.
double PowerShareAbove(const std::vector<double>& magnitudes, double sampleRate, double hz);

// Root mean square of x[start..start+count).
double Rms(const std::vector<float>& x, std::size_t start, std::size_t count);

// Largest absolute sample.
double Peak(const std::vector<float>& x);

} // namespace TarnTest
