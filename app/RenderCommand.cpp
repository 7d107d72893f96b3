// velluna render: plays a MIDI file (or the built-in demo) through one instance, driven by the
// shared driver as a host drives it, into a 32-bit float stereo WAV file.
#include "Commands.h"
#include "core/OutputFile.h"

#include "DemoPiece.h"
#include "InstanceOptions.h"
#include "MidiFile.h"
#include "OfflineRenderer.h"
#include "RenderProgress.h"
#include "RenderScore.h"
#include "WavFileWriter.h"

#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"
#include "plugins/driver/PluginInstance.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{

constexpr const char* kUsage =
    "usage: velluna render IN.mid OUT.wav [options]\n"
    "       velluna render --demo OUT.wav [options]\n"
    "options:\n"
    "  --rate HZ              output sample rate (default 48000)\n"
    "  --block FRAMES         largest block handed to the instrument (default 256)\n"
    "  --tail SECONDS         time rendered after the last event (default 2)\n"
    "  --preset N|NAME        start from a factory preset\n"
    "  --state FILE           start from a saved state\n"
    "  --set ID|NAME=VALUE    set a parameter (repeatable)\n";

constexpr double kMaxRenderSeconds = 24.0 * 3600.0;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int)
{
    g_interrupted = 1;
}

struct RenderOptions
{
    bool demo = false;
    std::string input;
    std::string output;
    double rate = 48000.0;
    std::uint32_t block = 256;
    double tail = 2.0;
    InstanceOptions instance;
};

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "velluna render: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// A number for option name in [lo, hi]; integral when asked.
bool ParseNumber(const std::string& name, const std::string& text, double lo, double hi,
                 bool integral, double& out, std::string& error)
{
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || v < lo || v > hi ||
        (integral && v != std::floor(v)))
    {
        char range[96];
        std::snprintf(range, sizeof range, "%s from %g to %g",
                      integral ? "a whole number" : "a number", lo, hi);
        error = name + " needs " + range + ", got \"" + text + "\"";
        return false;
    }
    out = v;
    return true;
}

bool ParseArguments(int argc, char** argv, RenderOptions& options, std::string& error)
{
    std::vector<std::string> positional;
    for (int i = 0; i < argc; ++i)
    {
        const std::string arg = argv[i];
        bool consumed = false;
        if (!ParseInstanceOption(argc, argv, i, options.instance, consumed, error))
            return false;
        if (consumed)
            continue;
        if (arg == "--demo")
        {
            options.demo = true;
            continue;
        }
        bool matched = false;
        for (const char* name : {"--rate", "--block", "--tail"})
        {
            const std::string n = name;
            std::string value;
            if (arg == n)
            {
                if (i + 1 >= argc)
                {
                    error = n + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            else if (arg.rfind(n + "=", 0) == 0)
                value = arg.substr(n.size() + 1);
            else
                continue;
            matched = true;
            double v = 0.0;
            if (n == "--rate")
            {
                if (!ParseNumber(n, value, 1000.0, 1536000.0, true, v, error))
                    return false;
                options.rate = v;
            }
            else if (n == "--block")
            {
                if (!ParseNumber(n, value, 1.0, 65536.0, true, v, error))
                    return false;
                options.block = static_cast<std::uint32_t>(v);
            }
            else
            {
                if (!ParseNumber(n, value, 0.0, 3600.0, false, v, error))
                    return false;
                options.tail = v;
            }
            break;
        }
        if (matched)
            continue;
        if (arg.size() > 1 && arg[0] == '-')
        {
            error = "unknown option \"" + arg + "\"";
            return false;
        }
        positional.push_back(arg);
    }
    const std::size_t wanted = options.demo ? 1 : 2;
    if (positional.size() != wanted)
    {
        error = options.demo ? "--demo takes one file name, the WAV file to write"
                             : "needs a MIDI file and a WAV file name";
        return false;
    }
    if (!options.demo)
        options.input = positional[0];
    options.output = positional.back();
    return true;
}

} // namespace

int RunRenderCommand(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
        {
            std::fputs(kUsage, stdout);
            return 0;
        }
    RenderOptions options;
    std::string error;
    if (!ParseArguments(argc, argv, options, error))
        return UsageError(error);
    for (const std::string& input : {options.input, options.instance.stateFile})
        if (!input.empty() && TW::SameExistingFile(input, options.output))
            return UsageError("\"" + options.output + "\" is also an input: it is not overwritten");

    RenderScore score;
    if (options.demo)
    {
        if (!AddDemoPiece(score, options.rate, error))
        {
            std::fprintf(stderr, "velluna render: %s\n", error.c_str());
            return 1;
        }
    }
    else
    {
        MidiFile midi;
        if (!midi.Load(options.input, error))
        {
            std::fprintf(stderr, "velluna render: %s: %s\n", options.input.c_str(), error.c_str());
            return 2;
        }
        score.AddMidiFile(midi, options.rate);
    }
    score.Finish();
    const std::uint64_t totalFrames =
        score.LastFrame() + RenderScore::FrameAt(options.tail, options.rate);
    if (static_cast<double>(totalFrames) / options.rate > kMaxRenderSeconds)
    {
        std::fprintf(
            stderr, "velluna render: %s: the render would last %.0f hours; the limit is %.0f\n",
            options.demo ? "demo" : options.input.c_str(),
            static_cast<double>(totalFrames) / options.rate / 3600.0, kMaxRenderSeconds / 3600.0);
        return 2;
    }

    std::unique_ptr<TarnAdditiveSynth> synth;
    if (TW::Status status = TW::OpenComponent(synth); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna render: cannot open an instance (status %d)\n", status);
        return 1;
    }
    // The host's set-up: stream rate and the largest block it will ask for.
    const double rate = options.rate;
    const std::uint32_t maxFrames = options.block;
    if (TW::Status status = synth->DispatchSetProperty(TW::kPropertySampleRate, TW::Scope::Global,
                                                       0, &rate, sizeof rate);
        status != TW::kNoErr)
    {
        TW::CloseComponent(synth);
        std::fprintf(stderr, "velluna render: the instance refuses %.0f Hz (status %d)\n", rate,
                     status);
        return 2;
    }
    synth->DispatchSetProperty(TW::kPropertyMaximumFramesPerSlice, TW::Scope::Global, 0, &maxFrames,
                               sizeof maxFrames);
    if (!ApplyInstanceOptions(*synth, options.instance, error))
    {
        TW::CloseComponent(synth);
        std::fprintf(stderr, "velluna render: %s\n", error.c_str());
        return 2;
    }
    if (TW::Status status = synth->DoInitialize(); status != TW::kNoErr)
    {
        TW::CloseComponent(synth);
        std::fprintf(stderr, "velluna render: Initialize failed (status %d)\n", status);
        return 1;
    }

    // From here on the driver owns the instance and closes it.
    auto instance = std::make_unique<TW::PluginInstance>(std::move(synth));

    WavFileWriter wav;
    if (!wav.Open(options.output, static_cast<int>(options.rate), totalFrames, error))
    {
        instance.reset();
        std::fprintf(stderr, "velluna render: %s\n", error.c_str());
        return 1;
    }

    // An interrupted render removes its temporary file instead of leaving half a WAV.
    struct sigaction action
    {
    };
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);

    RenderProgress progress(totalFrames, options.rate, isatty(2) != 0);
    std::uint64_t framesDone = 0;
    std::string writeError;
    OfflineRenderer renderer(*instance, options.block);
    const bool rendered = renderer.Render(
        score, totalFrames,
        [&](const float* left, const float* right, std::uint32_t frames)
        {
            if (g_interrupted)
            {
                writeError = "interrupted";
                return false;
            }
            if (!wav.Write(left, right, frames, writeError))
                return false;
            framesDone += frames;
            progress.Update(framesDone);
            return true;
        },
        error);
    progress.Clear();
    instance.reset();
    if (!rendered)
    {
        wav.Discard();
        std::fprintf(stderr, "velluna render: %s; \"%s\" was not written\n",
                     writeError.empty() ? error.c_str() : writeError.c_str(),
                     options.output.c_str());
        return 1;
    }
    if (!wav.Commit(error))
    {
        std::fprintf(stderr, "velluna render: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "velluna render: %s\n",
                 RenderProgress::SummaryLine(framesDone, options.rate, progress.Elapsed()).c_str());
    return 0;
}
