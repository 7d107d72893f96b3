// The worst time of one render block with a note while a script timer keeps the script lock busy
// on the main-loop thread, against the same blocks with the timer idle. The render thread only
// tries the lock, so the worst block should stay near the idle one (a 256-frame block lasts
// 5.3 ms at 48 kHz).
#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"
#include "scripting/VeLuLuaMIDIHelper.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

// state.range(0): 0 no timer, 1 a periodic timer that runs 4 million script instructions.
void BM_RenderBlockWhileTimerScriptRuns(benchmark::State& state)
{
    char pattern[] = "/tmp/velluna-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        std::abort();
    const std::string root = pattern;
    std::filesystem::create_directories(root + "/Tarnwick/Velluna/Scripts");
    std::ofstream(root + "/Tarnwick/Velluna/Scripts/midi.lua")
        << "notes = 0\nrequestAllNoteOn(function(c, n, v) notes = notes + 1 end)\n"
        << (state.range(0) ? "requestPeriodicCallback(0.001, function() local x = 0 "
                             "for i = 1, 1000000 do x = x + i end end)\n"
                           : "");
    ::setenv("XDG_DATA_HOME", root.c_str(), 1);
    ::setenv("VELLUNA_LOCAL_DATA_DIR", root.c_str(), 1);
    std::unique_ptr<TarnAdditiveSynth> synth;
    if (TW::OpenComponent(synth) != TW::kNoErr || synth->DoInitialize() != TW::kNoErr)
        std::abort();

    constexpr std::uint32_t kFrames = 256;
    std::vector<float> l(kFrames), r(kFrames);
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, kFrames * sizeof(float), l.data()};
    buffers.buffers[1] = {1, kFrames * sizeof(float), r.data()};
    double worst = 0.0;
    std::uint8_t note = 40;
    for (auto _ : state)
    {
        synth->MidiEvent(0x90, note, 100, 17);
        synth->MidiEvent(0x80, static_cast<std::uint8_t>(note ^ 1), 0, 200);
        note = note == 80 ? 40 : note + 1;
        std::uint32_t flags = 0;
        const auto start = std::chrono::steady_clock::now();
        synth->DoRender(flags, {}, kFrames, buffers);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        worst = std::max(worst, took.count());
    }
    state.counters["worst_block_ms"] = worst;
    state.counters["waiting_at_end"] = synth->GetWaitingEventCount();
    TW::CloseComponent(synth);
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_RenderBlockWhileTimerScriptRuns)
    ->ArgName("timer")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2000)
    ->UseRealTime();

} // namespace
