// Fuzzes the MIDI file reader and what the renderer does with its result: any byte string must
// give either events in time order with in-range bytes, or a message; never a crash or a leak.
#include "app/MidiFile.h"
#include "app/RenderScore.h"

#include <cstdio>
#include <cstdlib>

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
    return 0;
}
