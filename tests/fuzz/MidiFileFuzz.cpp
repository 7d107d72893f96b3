// Fuzzes the MIDI file reader and what the renderer does with its result: any byte string must
// give either events in time order with in-range bytes, or a message; never a crash or a leak.
// The events of a file that parses are then played through a real instance (bundled scripts
// loaded), squeezed to a few frames apart so every one is delivered, and the audio must stay
// finite.
#include "app/MidiFile.h"
#include "app/OfflineRenderer.h"
#include "app/RenderScore.h"
#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{

constexpr double kRate = 8000.0;
constexpr std::size_t kMaxEventsPlayed = 2000;
constexpr std::uint64_t kFramesApart = 7;

TW::PluginInstance& Instance()
{
    static TW::PluginInstance instance(
        []
        {
            // Script prints would drown the fuzzer's own output.
            if (!std::freopen("/dev/null", "w", stdout))
                std::abort();
            std::unique_ptr<TarnAdditiveSynth> s;
            if (TW::OpenComponent(s) != TW::kNoErr)
                std::abort();
            s->SetSampleRate(kRate);
            if (s->DoInitialize() != TW::kNoErr)
                std::abort();
            return s;
        }());
    return instance;
}

void Play(const MidiFile& file)
{
    RenderScore score;
    std::uint64_t frame = 0;
    std::size_t played = 0;
    for (const MidiFileEvent& e : file.Events())
    {
        if (++played > kMaxEventsPlayed)
            break;
        if (e.IsSysEx())
            score.AddSysEx(frame, file.SysExBytes().data() + e.sysexOffset, e.sysexLength);
        else
            score.AddMidi(frame, e.status, e.data1, e.data2);
        frame += kFramesApart;
    }
    // Every note ends, so voices do not pile up from one input to the next.
    for (std::uint8_t channel = 0; channel < 16; ++channel)
        score.AddMidi(frame, static_cast<std::uint8_t>(0xB0 | channel), 123, 0);
    score.Finish();
    OfflineRenderer renderer(Instance(), 256);
    std::string error;
    renderer.Render(
        score, frame + 64,
        [](const float* left, const float* right, std::uint32_t frames)
        {
            for (std::uint32_t i = 0; i < frames; ++i)
                if (!std::isfinite(left[i]) || !std::isfinite(right[i]))
                {
                    std::fprintf(stderr, "non-finite sample\n");
                    std::abort();
                }
            return true;
        },
        error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    MidiFile file;
    std::string error;
    if (!file.Parse(data, size, error))
    {
        if (error.empty() || !file.Events().empty())
            std::abort();
        return 0;
    }
    double last = 0.0;
    for (const MidiFileEvent& e : file.Events())
    {
        const bool badTime = !(e.seconds >= last);
        const bool badBytes =
            e.IsSysEx() ? e.sysexLength == 0 ||
                              e.sysexOffset + std::size_t{e.sysexLength} > file.SysExBytes().size()
                        : e.status < 0x80 || e.status >= 0xF0 || (e.data1 | e.data2) >= 0x80;
        if (badTime || badBytes)
        {
            std::fprintf(stderr, "bad event: %.9f s after %.9f s, status 0x%02X\n", e.seconds, last,
                         e.status);
            std::abort();
        }
        last = e.seconds;
    }
    RenderScore score;
    score.AddMidiFile(file, 48000.0);
    score.Finish();
    Play(file);
    return 0;
}
