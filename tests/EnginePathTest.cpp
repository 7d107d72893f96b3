// Every instruction-set path of the voice loop against the scalar reference path, with 32
// voices, at awkward slice lengths and unaligned output buffers.
//
// Tolerance: 5e-5 x max(peak, 0.05). The SSE2 path computes the same float operations as the
// scalar one except the order of two sums (partials grouped by envelope choice, and the notes
// of a group summed across lanes before reaching the output); the AVX2 path also fuses
// multiply-adds, also inside the LFO and filter recurrences, where the rounding differences
// persist for thousands of samples (measured up to 1.2e-5 of the peak with the heavy patch). A
// wrong lane, stage sample or coefficient shows as errors of order 1e-2 and above.
#include "engine/TarnSynthEngine.h"
#include "support/EnginePatches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using Tarn::EnginePath;

namespace
{

enum class Patch
{
    Default,
    Heavy,
    FewPartials, // only partials 1..6, mixed envelope choices: the loops skip silent partials
};

void Apply(TW::ParameterElement& params, Patch patch)
{
    TarnTest::SetDefaults(params);
    if (patch == Patch::Heavy)
        TarnTest::SetHeavyPatch(params);
    if (patch == Patch::FewPartials)
    {
        TarnTest::SetHeavyPatch(params);
        for (int k = 7; k <= 16; ++k)
            TarnTest::SetByName(params, ("Level " + std::to_string(k)).c_str(), 0.0f);
        TarnTest::SetByName(params, "Filter Type", 1.3f);
    }
}

struct PathCase
{
    EnginePath path;
    Patch patch;
    int notes; // 40: the pool fills and steals; 13 and 3 leave partly filled vector groups
};

class EnginePaths : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(EnginePaths, MatchScalarAtAwkwardSliceLengths)
{
    const PathCase pc = GetParam();
    if (!Tarn::IsEnginePathSupported(pc.path))
        GTEST_SKIP() << "processor lacks " << Tarn::EnginePathName(pc.path);

    TW::ParameterElement params;
    Apply(params, pc.patch);
    Tarn::DisplayBlock displays[2];
    std::unique_ptr<Tarn::TarnSynthEngine> engines[2];
    for (int e = 0; e < 2; ++e)
    {
        engines[e] = std::make_unique<Tarn::TarnSynthEngine>(params, displays[e]);
        engines[e]->SetSampleRate(44100.0);
        engines[e]->Reset();
    }
    engines[0]->SetPath(EnginePath::Scalar);
    engines[1]->SetPath(pc.path);
    ASSERT_EQ(engines[1]->GetPath(), pc.path);

    // Buffers one float past an aligned start.
    std::vector<float> buffers[2][2];
    for (auto& pair : buffers)
        for (auto& b : pair)
            b.assign(514, 0.0f);

    const unsigned slices[] = {1, 3, 127, 513};
    double peak = 0, worst = 0;
    int key = 24;
    for (int step = 0; step < 160; ++step)
    {
        for (auto& engine : engines)
        {
            if (step < pc.notes)
                engine->HandleStartNote(key + step * 2 % 70, 0.3f + 0.017f * float(step % 40));
            if (step == 60)
                engine->SetPitchBend(1.05f);
            if (step >= 80 && step < 120 && step % 2 == 0)
                engine->HandleStopNote(key + (step - 80) * 2 % 70);
            if (step == 130)
                engine->DoAllNotesOff();
        }
        const unsigned n = slices[step % 4];
        for (int e = 0; e < 2; ++e)
        {
            float* out[2] = {buffers[e][0].data() + 1, buffers[e][1].data() + 1};
            engines[e]->RenderPlayback(out, n);
        }
        ASSERT_EQ(engines[0]->GetNumNotes(), engines[1]->GetNumNotes()) << "step " << step;
        for (int c = 0; c < 2; ++c)
            for (unsigned i = 1; i <= n; ++i)
            {
                const double a = buffers[0][c][i], b = buffers[1][c][i];
                peak = std::max(peak, std::fabs(a));
                worst = std::max(worst, std::fabs(a - b));
            }
    }
    EXPECT_GT(peak, 0.05);
    EXPECT_LE(worst, 5e-5 * std::max(peak, 0.05)) << "peak " << peak;
}

std::string CaseName(const ::testing::TestParamInfo<PathCase>& info)
{
    static const char* const patches[] = {"Default", "Heavy", "FewPartials"};
    return std::string(Tarn::EnginePathName(info.param.path)) + "_" +
           patches[static_cast<int>(info.param.patch)] + "_" + std::to_string(info.param.notes);
}

INSTANTIATE_TEST_SUITE_P(VersusScalar, EnginePaths,
                         ::testing::Values(PathCase{EnginePath::Sse2, Patch::Default, 40},
                                           PathCase{EnginePath::Sse2, Patch::Heavy, 40},
                                           PathCase{EnginePath::Sse2, Patch::Heavy, 13},
                                           PathCase{EnginePath::Sse2, Patch::FewPartials, 3},
                                           PathCase{EnginePath::Avx2, Patch::Default, 40},
                                           PathCase{EnginePath::Avx2, Patch::Heavy, 40},
                                           PathCase{EnginePath::Avx2, Patch::Heavy, 13},
                                           PathCase{EnginePath::Avx2, Patch::FewPartials, 3},
                                           PathCase{EnginePath::Avx512, Patch::Default, 40},
                                           PathCase{EnginePath::Avx512, Patch::Heavy, 40},
                                           PathCase{EnginePath::Avx512, Patch::Heavy, 13},
                                           PathCase{EnginePath::Avx512, Patch::Heavy, 6},
                                           PathCase{EnginePath::Avx512, Patch::FewPartials, 3}),
                         CaseName);

TEST(EnginePathSelection, DefaultIsTheBestSupportedAndNamesRoundTrip)
{
    const EnginePath best = Tarn::DefaultEnginePath();
    EXPECT_TRUE(Tarn::IsEnginePathSupported(best));
    if (!std::getenv("VELLUNA_ENGINE_PATH"))
    {
        EXPECT_EQ(best, Tarn::IsEnginePathSupported(EnginePath::Avx512) ? EnginePath::Avx512
                        : Tarn::IsEnginePathSupported(EnginePath::Avx2) ? EnginePath::Avx2
                                                                        : EnginePath::Sse2);
    }
    EXPECT_STREQ(Tarn::EnginePathName(EnginePath::Scalar), "scalar");
    EXPECT_STREQ(Tarn::EnginePathName(EnginePath::Sse2), "sse2");
    EXPECT_STREQ(Tarn::EnginePathName(EnginePath::Avx2), "avx2");
    EXPECT_STREQ(Tarn::EnginePathName(EnginePath::Avx512), "avx512");
}

} // namespace
