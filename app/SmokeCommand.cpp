// velluna smoke: open an instance as a host would, play one note for a second through the
// shared driver, report.
#include "Commands.h"

#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"
#include "plugins/driver/PluginInstance.h"

#include <cmath>
#include <cstdio>
#include <vector>

int RunSmokeCommand(int, char**)
{
    constexpr double kRate = 48000.0;
    constexpr std::uint32_t kBlock = 256;

    std::unique_ptr<TarnAdditiveSynth> synth;
    if (TW::Status status = TW::OpenComponent(synth); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna: cannot open an instance (status %d)\n", status);
        return 1;
    }
    synth->SetSampleRate(kRate);
    if (TW::Status status = synth->DoInitialize(); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna: Initialize failed (status %d)\n", status);
        TW::CloseComponent(synth);
        return 1;
    }
    auto instance = std::make_unique<TW::PluginInstance>(std::move(synth));

    std::vector<float> left(kBlock), right(kBlock);
    const std::uint8_t noteOn[3] = {0x90, 60, 100};
    const TW::PluginMidiMessage note{0, sizeof noteOn, noteOn};
    std::uint64_t frames = 0;
    std::uint32_t blocks = 0, silentBlocks = 0;
    float peak = 0.0f;
    while (frames < static_cast<std::uint64_t>(kRate))
    {
        const bool silent =
            instance->Process(&note, frames == 0 ? 1 : 0, left.data(), right.data(), kBlock);
        if (TW::Status status = instance->LastRenderStatus(); status != TW::kNoErr)
        {
            std::fprintf(stderr, "velluna: render failed (status %d)\n", status);
            return 1;
        }
        for (std::uint32_t i = 0; i < kBlock; ++i)
            peak = std::fmax(peak, std::fmax(std::fabs(left[i]), std::fabs(right[i])));
        silentBlocks += silent ? 1 : 0;
        frames += kBlock;
        ++blocks;
    }
    instance.reset();
    std::fprintf(stderr,
                 "velluna: rendered %llu frames at %.0f Hz in %u blocks with one note (key 60, "
                 "velocity 100): %u silent blocks, peak %.4f\n",
                 static_cast<unsigned long long>(frames), kRate, blocks, silentBlocks,
                 static_cast<double>(peak));
    return 0;
}
