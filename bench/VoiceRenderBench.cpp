// The voice engine rendering 256-frame slices: 1, 8 and 32 sounding voices; the default patch and
// the heavy patch (all partials, three partial envelopes, all LFOs, pulse-width LFO and envelope,
// band-pass filter with envelope and LFO, the modulation effect with 4 voices and feedback);
// 48 and 96 kHz; every instruction-set path. Counters: x_realtime (audio seconds rendered per
// second of CPU time) and ns_per_voice_sample.
#include "engine/TarnSynthEngine.h"
#include "tests/support/EnginePatches.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace
{

constexpr unsigned kBlock = 256;

void BM_VoiceRender(benchmark::State& state)
{
    const int voices = static_cast<int>(state.range(0));
    const bool heavy = state.range(1) != 0;
    const double rate = static_cast<double>(state.range(2));
    const auto path = static_cast<Tarn::EnginePath>(state.range(3));
    if (!Tarn::IsEnginePathSupported(path))
    {
        state.SkipWithError("path not supported by this processor");
        return;
    }

    TW::ParameterElement params;
    TarnTest::SetDefaults(params);
    if (heavy)
        TarnTest::SetHeavyPatch(params);
    Tarn::DisplayBlock display;
    auto engine = std::make_unique<Tarn::TarnSynthEngine>(params, display);
    engine->SetSampleRate(rate);
    engine->Reset();
    engine->SetPath(path);
    for (int v = 0; v < voices; ++v)
        engine->HandleStartNote(36 + (v * 7) % 60, 0.8f);

    std::vector<float> left(kBlock), right(kBlock);
    float* out[2] = {left.data(), right.data()};
    // Past every attack and decay: the voices sustain.
    for (int i = 0; i < static_cast<int>(rate) / static_cast<int>(kBlock); ++i)
        engine->RenderPlayback(out, kBlock);

    for (auto _ : state)
    {
        engine->RenderPlayback(out, kBlock);
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
    }
    if (engine->GetNumNotes() != voices)
        state.SkipWithError("voices ended during the run");

    const double frames = static_cast<double>(state.iterations()) * kBlock;
    state.counters["x_realtime"] = benchmark::Counter(frames / rate, benchmark::Counter::kIsRate);
    state.counters["ns_per_voice_sample"] = benchmark::Counter(
        frames * voices * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(Tarn::EnginePathName(path));
}

BENCHMARK(BM_VoiceRender)
    ->ArgNames({"voices", "heavy", "rate", "path"})
    ->ArgsProduct(
        {{1, 8, 32},
         {0, 1},
         {48000, 96000},
         {static_cast<int>(Tarn::EnginePath::Scalar), static_cast<int>(Tarn::EnginePath::Sse2),
          static_cast<int>(Tarn::EnginePath::Avx2), static_cast<int>(Tarn::EnginePath::Avx512)}})
    ->Unit(benchmark::kMicrosecond);

// An instance with nothing to play: effect off, or effect on after its tail has died away. Both
// cost only the clearing of the output.
void BM_SilentInstance(benchmark::State& state)
{
    TW::ParameterElement params;
    TarnTest::SetDefaults(params);
    TarnTest::SetHeavyPatch(params);
    TarnTest::SetByName(params, "Modulation On/Off", static_cast<float>(state.range(0)));
    Tarn::DisplayBlock display;
    auto engine = std::make_unique<Tarn::TarnSynthEngine>(params, display);
    engine->SetSampleRate(48000.0);
    engine->Reset();
    std::vector<float> left(kBlock), right(kBlock);
    float* out[2] = {left.data(), right.data()};
    for (int i = 0; i < 48000 * 6 / static_cast<int>(kBlock); ++i) // past the effect's tail
        engine->RenderPlayback(out, kBlock);
    for (auto _ : state)
    {
        engine->RenderPlayback(out, kBlock);
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
    }
    const double frames = static_cast<double>(state.iterations()) * kBlock;
    state.counters["x_realtime"] =
        benchmark::Counter(frames / 48000.0, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_SilentInstance)->ArgName("effect")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
