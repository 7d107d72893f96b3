// Fuzzes the MIDI scripting host with arbitrary script text: the text is the user's script file,
// loaded beside the bundled scripts under the script guard (instruction and time budgets, the
// instance's own memory arena), and the instance is then fed MIDI of every kind, which runs the
// handlers the text registered. No crash, no hang past the guard's budgets, no leak, and the
// audio rendered afterwards stays finite.
#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"
#include "platform/MusicDeviceBase.h"
#include "scripting/VeLuLuaMIDIHelper.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{

struct Fixture
{
    std::string script;
    std::unique_ptr<TarnAdditiveSynth> synth;
    Fixture()
    {
        // Script prints would drown the fuzzer's own output.
        if (!std::freopen("/dev/null", "w", stdout))
            std::abort();
        const std::string root = std::filesystem::temp_directory_path() /
                                 ("velluna-script-fuzz-" + std::to_string(::getpid()));
        const std::string folder = root + "/Tarnwick/Velluna/Scripts";
        std::filesystem::create_directories(folder);
        ::setenv("XDG_DATA_HOME", root.c_str(), 1);
        ::setenv("VELLUNA_LOCAL_DATA_DIR", (root + "/none").c_str(), 1);
        script = folder + "/fuzz.lua";
        std::ofstream(script) << "";
        if (TW::OpenComponent(synth) != TW::kNoErr || !synth)
            std::abort();
        synth->SetSampleRate(8000.0);
        if (synth->DoInitialize() != TW::kNoErr)
            std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Fixture fixture;
    if (size > 4096)
        return 0;
    std::ofstream(fixture.script, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    TarnAdditiveSynth& synth = *fixture.synth;
    auto& lua = synth.LuaHelper();
    {
        std::lock_guard<std::recursive_mutex> lock(lua.GetScriptLock());
        lua.LuaInit();
    }
    // One message of each kind through the queue, as a host sends them, then a block renders
    // them (the handlers run there).
    const std::uint8_t messages[][3] = {{0x90, 60, 100}, {0xB1, 7, 64},  {0xE2, 0, 80},
                                        {0xC3, 5, 0},    {0xD4, 30, 0},  {0xA5, 60, 20},
                                        {0x80, 60, 0},   {0xB0, 123, 0}};
    for (const auto& m : messages)
        synth.MidiEvent(m[0], m[1], m[2], 0);
    const std::uint8_t sysex[] = {0xF0, 0x7D, 0x01, 0x02, 0xF7};
    synth.HandleSysEx(sysex, sizeof sysex);
    std::vector<float> left(256), right(256);
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, 256 * sizeof(float), left.data()};
    buffers.buffers[1] = {1, 256 * sizeof(float), right.data()};
    TW::AudioTimeStamp time;
    std::uint32_t flags = 0;
    if (synth.DoRender(flags, time, 256, buffers) == TW::kNoErr)
        for (std::size_t i = 0; i < left.size(); ++i)
            if (!std::isfinite(left[i]) || !std::isfinite(right[i]))
            {
                std::fprintf(stderr, "non-finite sample after a script\n");
                std::abort();
            }
    return 0;
}
