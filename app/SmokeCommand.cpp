// velluna smoke: open an instance as a host would, play one note for a second, report.
#include "Commands.h"

#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"

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
        return 1;
    }
    synth->MidiEvent(0x90, 60, 100, 0);

    std::vector<float> left(kBlock), right(kBlock);
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, kBlock * sizeof(float), left.data()};
    buffers.buffers[1] = {1, kBlock * sizeof(float), right.data()};
    std::uint64_t frames = 0;
    std::uint32_t blocks = 0, silentBlocks = 0;
    float peak = 0.0f;
    TW::AudioTimeStamp time;
    while (frames < static_cast<std::uint64_t>(kRate))
    {
        std::uint32_t flags = 0;
        if (TW::Status status = synth->DoRender(flags, time, kBlock, buffers); status != TW::kNoErr)
        {
            std::fprintf(stderr, "velluna: render failed (status %d)\n", status);
            return 1;
        }
        for (std::uint32_t i = 0; i < kBlock; ++i)
            peak = std::fmax(peak, std::fmax(std::fabs(left[i]), std::fabs(right[i])));
        silentBlocks += (flags & TW::kRenderOutputIsSilence) ? 1 : 0;
        frames += kBlock;
        time.sampleTime += kBlock;
        ++blocks;
    }
    TW::CloseComponent(synth);
    std::fprintf(stderr,
                 "velluna: rendered %llu frames at %.0f Hz in %u blocks with one note (key 60, "
                 "velocity 100): %u silent blocks, peak %.4f\n",
                 static_cast<unsigned long long>(frames), kRate, blocks, silentBlocks,
                 static_cast<double>(peak));
    return 0;
}
