// No parameter value, stored as given, can make the engine write a non-finite sample: it reads
// every parameter within its table range. Random parameter sets mixing range ends, values far
// outside the range and non-finite values, with notes, bends and releases, on every path.
#include "core/ParameterTable.h"
#include "engine/TarnSynthEngine.h"
#include "support/EnginePatches.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

using Tarn::EnginePath;

namespace
{

float PickValue(std::mt19937& rng, const Tarn::ParamInfo& row)
{
    constexpr float kInf = std::numeric_limits<float>::infinity();
    std::uniform_real_distribution<float> inRange(row.minValue, row.maxValue);
    switch (std::uniform_int_distribution<int>(0, 11)(rng))
    {
    case 0:
        return row.minValue;
    case 1:
    case 2:
        return row.maxValue;
    case 3:
        return 3e38f;
    case 4:
        return -3e38f;
    case 5:
        return row.maxValue * 1000.0f + 1000.0f;
    case 6:
        return std::numeric_limits<float>::quiet_NaN();
    case 7:
        return rng() % 2 ? kInf : -kInf;
    default:
        return inRange(rng);
    }
}

class EngineStability : public ::testing::TestWithParam<EnginePath>
{
};

TEST_P(EngineStability, RandomAndExtremeParameterSetsGiveFiniteOutput)
{
    if (!Tarn::IsEnginePathSupported(GetParam()))
        GTEST_SKIP() << "processor lacks " << Tarn::EnginePathName(GetParam());
    std::mt19937 rng(1234);
    std::vector<float> left(300), right(300);
    float* out[2] = {left.data(), right.data()};
    for (int set = 0; set < 24; ++set)
    {
        SCOPED_TRACE("set " + std::to_string(set));
        TW::ParameterElement params;
        TarnTest::SetDefaults(params);
        for (std::uint32_t id = 0; id < Tarn::kNumParams; ++id)
            if (Tarn::GetParamKind(id) == Tarn::ParamKind::Live && rng() % 3 != 0)
                params.SetValue(id, PickValue(rng, Tarn::astParamInfos[id]), true);
        Tarn::DisplayBlock display;
        auto engine = std::make_unique<Tarn::TarnSynthEngine>(params, display);
        engine->SetSampleRate(set % 3 == 0 ? 96000.0 : 44100.0);
        engine->Reset();
        engine->SetPath(GetParam());
        int bad = 0;
        for (int slice = 0; slice < 40; ++slice)
        {
            if (slice < 12)
                engine->HandleStartNote(20 + static_cast<int>(rng() % 100), 0.1f * (slice % 11));
            if (slice == 20)
                engine->SetPitchBend(4.0f);
            if (slice == 25)
                engine->DoAllNotesOff();
            // A value changing under held notes: a sustain level, a filter setting, the volume.
            const std::uint32_t id = rng() % Tarn::kNumParams;
            if (Tarn::GetParamKind(id) == Tarn::ParamKind::Live)
                params.SetValue(id, PickValue(rng, Tarn::astParamInfos[id]), true);
            const unsigned n = 1 + rng() % 300;
            engine->RenderPlayback(out, n);
            for (unsigned i = 0; i < n; ++i)
                bad += !std::isfinite(left[i]) + !std::isfinite(right[i]);
        }
        EXPECT_EQ(bad, 0);
        EXPECT_TRUE(std::isfinite(display.activity.load()));
    }
}

// "Filter Q" far above its range reads as its maximum: the filter rings but does not blow up,
// and the values stay stored as given.
TEST_P(EngineStability, OutOfRangeValuesActAsTheRangeEnd)
{
    if (!Tarn::IsEnginePathSupported(GetParam()))
        GTEST_SKIP() << "processor lacks " << Tarn::EnginePathName(GetParam());
    std::vector<float> outputs[2];
    for (int run = 0; run < 2; ++run)
    {
        TW::ParameterElement params;
        TarnTest::SetDefaults(params);
        TarnTest::SetByName(params, "Filter Type", 1.0f);
        TarnTest::SetByName(params, "Filter Cutoff", 3000.0f);
        TarnTest::SetByName(params, "Filter Q", run == 0 ? 1.0f : 50.0f);
        TarnTest::SetByName(params, "Volume", run == 0 ? 1.0f : 3e38f);
        Tarn::DisplayBlock display;
        auto engine = std::make_unique<Tarn::TarnSynthEngine>(params, display);
        engine->SetSampleRate(48000.0);
        engine->Reset();
        engine->SetPath(GetParam());
        engine->HandleStartNote(60, 1.0f);
        outputs[run].assign(9600, 0.0f);
        std::vector<float> right(9600);
        float* out[2] = {outputs[run].data(), right.data()};
        engine->RenderPlayback(out, 9600);
        if (run == 1)
        {
            EXPECT_EQ(params.Value(static_cast<std::uint32_t>(Tarn::FindParamByName("Filter Q"))),
                      50.0f);
        }
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    double peak = 0;
    for (float x : outputs[1])
        peak = std::max(peak, static_cast<double>(std::fabs(x)));
    EXPECT_GT(peak, 0.01);
    EXPECT_LT(peak, 100.0);
}

INSTANTIATE_TEST_SUITE_P(Paths, EngineStability,
                         ::testing::Values(EnginePath::Scalar, EnginePath::Sse2, EnginePath::Avx2,
                                           EnginePath::Avx512),
                         [](const auto& info) { return Tarn::EnginePathName(info.param); });

} // namespace
