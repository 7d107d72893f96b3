// Partials at or above half the sample rate are silent, so nothing folds back into the audible
// range, and a bend across the limit fades a partial out instead of cutting it. On every path.
//
// The oracle for aliasing is the same note rendered at 192 kHz, where all 16 partials of keys up
// to 108 lie below half the rate: every component of the 48 kHz render that is within 90 dB of
// the fundamental must also be in the 192 kHz render (Nuttall window, same bin spacing).
#include "engine/TarnSynthEngine.h"
#include "support/EnginePatches.h"
#include "support/SpectrumAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using Tarn::EnginePath;
using TarnTest::SetByName;

namespace
{

class BandLimit : public ::testing::TestWithParam<EnginePath>
{
protected:
    void SetUp() override
    {
        if (!Tarn::IsEnginePathSupported(GetParam()))
            GTEST_SKIP() << "processor lacks " << Tarn::EnginePathName(GetParam());
        TarnTest::SetDefaults(m_params);
        SetByName(m_params, "Attack", 0.0f);
        SetByName(m_params, "Sustain", 1.0f);
    }

    std::unique_ptr<Tarn::TarnSynthEngine> MakeEngine(double rate)
    {
        auto e = std::make_unique<Tarn::TarnSynthEngine>(m_params, m_display);
        e->SetSampleRate(rate);
        e->Reset();
        e->SetPath(GetParam());
        return e;
    }

    // A held note: the first `skip` frames are dropped, the next `frames` returned.
    std::vector<float> RenderNote(double rate, int key, std::size_t skip, std::size_t frames)
    {
        auto e = MakeEngine(rate);
        e->HandleStartNote(key, 0.8f);
        std::vector<float> x(skip + frames), right(256);
        for (std::size_t at = 0; at < x.size(); at += 256)
        {
            const unsigned n = static_cast<unsigned>(std::min<std::size_t>(256, x.size() - at));
            float* out[2] = {x.data() + at, right.data()};
            e->RenderPlayback(out, n);
        }
        return std::vector<float>(x.begin() + static_cast<long>(skip), x.end());
    }

    TW::ParameterElement m_params;
    Tarn::DisplayBlock m_display;
};

TEST_P(BandLimit, HighKeysHaveNoComponentThatA192kRenderLacks)
{
    for (int k = 1; k <= 16; ++k)
        SetByName(m_params, ("Level " + std::to_string(k)).c_str(), 1.0f);
    SetByName(m_params, "Volume", 0.5f);
    constexpr std::size_t kN = 8192; // 48 kHz; four times as many at 192 kHz: same bins
    for (int key = 84; key <= 108; key += 4)
    {
        SCOPED_TRACE("key " + std::to_string(key));
        const auto low = TarnTest::MagnitudeSpectrum(RenderNote(48000.0, key, 2000, kN), 0, kN,
                                                     TarnTest::Window::Nuttall);
        const auto high = TarnTest::MagnitudeSpectrum(RenderNote(192000.0, key, 8000, 4 * kN), 0,
                                                      4 * kN, TarnTest::Window::Nuttall);
        const double f0 = 440.0 * std::pow(2.0, (key - 69) / 12.0);
        const auto bin0 = static_cast<std::size_t>(std::lround(f0 * kN / 48000.0));
        double ref48 = 0, ref192 = 0;
        for (std::size_t b = bin0 - 3; b <= bin0 + 3; ++b)
        {
            ref48 = std::max(ref48, low[b]);
            ref192 = std::max(ref192, high[b]);
        }
        ASSERT_GT(ref48, 0.0);
        int alias = 0;
        double worst = -300;
        for (std::size_t b = 4; b < low.size(); ++b)
        {
            const double l48 = 20 * std::log10(low[b] / ref48 + 1e-30);
            if (l48 <= -90)
                continue;
            const double l192 = 20 * std::log10(high[b] / ref192 + 1e-30);
            if (l192 < l48 - 10)
            {
                ++alias;
                worst = std::max(worst, l48);
            }
        }
        EXPECT_EQ(alias, 0) << "loudest component missing at 192 kHz: " << worst << " dB";
    }
}

// Partial 10 of key 96 (20.9 kHz) is bent up by a fifth over a second, across 24 kHz, one
// 128-frame slice at a time. Within a slice its frequency and gain are fixed, so a least-squares
// fit of one sine at the known frequency gives its amplitude slice by slice: it must fall from
// full level to silence in small steps, never at once.
TEST_P(BandLimit, BendAcrossTheLimitFadesWithoutAStep)
{
    SetByName(m_params, "Level 1", 0.0f);
    SetByName(m_params, "Level 10", 1.0f);
    constexpr double kRate = 48000.0;
    constexpr unsigned kSlice = 128;
    constexpr int kSlices = 375;
    auto e = MakeEngine(kRate);
    e->HandleStartNote(96, 1.0f);
    std::vector<float> left(kSlice), right(kSlice);
    float* out[2] = {left.data(), right.data()};
    e->RenderPlayback(out, kSlice); // onset
    const double inc = static_cast<float>(440.0 * std::exp2((96 - 69) / 12.0) / kRate);
    double first = -1, last = -1, largestStep = 0, previous = -1;
    for (int s = 0; s < kSlices; ++s)
    {
        const float bend = static_cast<float>(std::pow(1.5, double(s) / kSlices));
        e->SetPitchBend(bend);
        e->RenderPlayback(out, kSlice);
        const double w = 2 * M_PI * 10 * static_cast<double>(static_cast<float>(inc * bend));
        // Normal equations of x[n] = a cos(w n) + b sin(w n).
        double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
        for (unsigned n = 0; n < kSlice; ++n)
        {
            const double c = std::cos(w * n), si = std::sin(w * n);
            cc += c * c, ss += si * si, cs += c * si, xc += left[n] * c, xs += left[n] * si;
        }
        const double det = cc * ss - cs * cs;
        if (det < 1e-3 * cc * ss) // too close to half the rate to tell the phases apart
            continue;
        const double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
        const double amplitude = std::hypot(a, b);
        if (first < 0)
            first = amplitude;
        if (previous >= 0)
            largestStep = std::max(largestStep, std::fabs(amplitude - previous));
        previous = last = amplitude;
    }
    EXPECT_NEAR(first, 1.0, 0.01);
    EXPECT_LT(last, 1e-4);
    EXPECT_LT(largestStep, 0.02);
}

INSTANTIATE_TEST_SUITE_P(Paths, BandLimit,
                         ::testing::Values(EnginePath::Scalar, EnginePath::Sse2, EnginePath::Avx2,
                                           EnginePath::Avx512),
                         [](const auto& info) { return Tarn::EnginePathName(info.param); });

} // namespace
