// velluna play: one instance in real time until SIGINT or SIGTERM (or for --seconds), through
// JACK (MIDI in, stereo out) or through a null device: a render thread paced by the clock, the
// headless sound module for OSC control. --record keeps what is rendered in a float WAV file.
#include "AudioRecorder.h"
#include "Commands.h"
#include "InstanceOptions.h"
#include "JackAudio.h"

#include "core/ParameterTable.h"
#include "core/TarnAdditiveSynth.h"
#include "osc/OSCHelper.h"
#include "platform/ComponentFactory.h"
#include "plugins/driver/PluginInstance.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace
{

constexpr double kNullSampleRate = 48000.0;
constexpr std::uint32_t kNullBlock = 256;

const char kUsage[] =
    "usage: velluna play [--audio jack|null] [--record FILE.wav] [--preset N|NAME]\n"
    "                    [--state FILE] [--set ID|NAME=VALUE]... [--seconds N]\n"
    "Plays one instance in real time until SIGINT or SIGTERM, or for N seconds.\n"
    "  --audio jack   a JACK client with MIDI in and stereo out (the default)\n"
    "  --audio null   no audio device: a render thread paced by the clock at 48000 Hz\n"
    "  --record FILE  also write what is rendered to a 32-bit float WAV file\n"
    "OSC control: set \"OSC Port Offset\" (--set %d=N) to listen on OSC Base Port + N.\n"
    "A first SIGINT or SIGTERM ends it in order within 2 s; a second ends it at once.\n";

// The usage text, with the port offset's identifier taken from the parameter table.
void PrintUsage(std::FILE* to)
{
    std::fprintf(to, kUsage, static_cast<int>(Tarn::kParamOSCPortOffset));
}

struct PlayOptions
{
    std::string audio = "jack";
    std::string record;
    double seconds = 0.0; // 0: until a signal
    InstanceOptions instance;
};

// 2 with a message for bad usage, -1 to go on, 0 after --help.
int ParsePlayOptions(int argc, char** argv, PlayOptions& options)
{
    for (int i = 0; i < argc; ++i)
    {
        const std::string arg = argv[i];
        bool consumed = false;
        std::string error;
        if (!ParseInstanceOption(argc, argv, i, options.instance, consumed, error))
        {
            std::fprintf(stderr, "velluna play: %s\n", error.c_str());
            return 2;
        }
        if (consumed)
            continue;
        if (arg == "--help" || arg == "-h")
        {
            PrintUsage(stdout);
            return 0;
        }
        if ((arg == "--audio" || arg == "--record" || arg == "--seconds") && i + 1 >= argc)
        {
            std::fprintf(stderr, "velluna play: %s needs a value\n", arg.c_str());
            return 2;
        }
        if (arg == "--audio")
        {
            options.audio = argv[++i];
            if (options.audio != "jack" && options.audio != "null")
            {
                std::fprintf(stderr, "velluna play: --audio is jack or null, not \"%s\"\n",
                             options.audio.c_str());
                return 2;
            }
        }
        else if (arg == "--record")
            options.record = argv[++i];
        else if (arg == "--seconds")
        {
            char* end = nullptr;
            options.seconds = std::strtod(argv[++i], &end);
            if (!end || *end || !std::isfinite(options.seconds) || options.seconds <= 0.0)
            {
                std::fprintf(stderr,
                             "velluna play: --seconds needs a positive number, not "
                             "\"%s\"\n",
                             argv[i]);
                return 2;
            }
        }
        else
        {
            std::fprintf(stderr, "velluna play: unknown option \"%s\"\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }
    return -1;
}

// The null device: renders blocks on a thread of its own at the pace of the sample rate.
class NullAudio
{
public:
    void Start(TW::PluginInstance* instance, AudioRecorder* recorder)
    {
        m_thread = std::thread([this, instance, recorder] { Run(*instance, recorder); });
    }
    void Stop()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    std::uint64_t FramesRendered() const noexcept { return m_frames.load(); }

private:
    // The null device's render thread.
    void Run(TW::PluginInstance& instance, AudioRecorder* recorder)
    {
        std::vector<float> left(kNullBlock), right(kNullBlock);
        using Clock = std::chrono::steady_clock;
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(kNullBlock / kNullSampleRate));
        auto next = Clock::now();
        while (!m_stop.load())
        {
            instance.Process(nullptr, 0, left.data(), right.data(), kNullBlock);
            if (recorder)
                recorder->Push(left.data(), right.data(), kNullBlock);
            m_frames.fetch_add(kNullBlock);
            next += period;
            const auto now = Clock::now();
            // After a long stall (a suspended machine) start afresh rather than race to catch up.
            if (now - next > std::chrono::seconds(1))
                next = now;
            std::this_thread::sleep_until(next);
        }
    }

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_frames{0};
};

// How long an orderly end may take once SIGINT or SIGTERM has come.
constexpr std::chrono::seconds kShutdownBound{2};

// Takes SIGINT and SIGTERM (blocked in every thread) for the whole run, on a thread of its own.
// The first asks for an orderly end; when that has not finished within kShutdownBound, whatever
// a script, the network or a file is doing, or when a second signal comes, the process ends at
// once.
class SignalWatch
{
public:
    explicit SignalWatch(const sigset_t& signals) : m_signals(signals)
    {
        m_thread = std::thread([this] { Run(); });
    }
    // Main thread, after the orderly end.
    ~SignalWatch()
    {
        m_done.store(true);
        m_thread.join();
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // The name of the first signal taken, or null. Any thread.
    const char* Taken() const noexcept { return m_taken.load(); }

private:
    static void EndNow(const char* why, int status)
    {
        // Only async-signal-safe calls from here: other threads may hold any lock.
        [[maybe_unused]] const ssize_t written = write(2, why, std::strlen(why));
        _exit(status);
    }
    void Run()
    {
        using Clock = std::chrono::steady_clock;
        Clock::time_point deadline{};
        while (!m_done.load())
        {
            timespec slice{0, 50'000'000};
            const int taken = sigtimedwait(&m_signals, nullptr, &slice);
            if (taken == SIGINT || taken == SIGTERM)
            {
                if (m_taken.load())
                    EndNow("velluna play: second signal: ending at once\n", 128 + taken);
                deadline = Clock::now() + kShutdownBound;
                m_taken.store(taken == SIGINT ? "SIGINT" : "SIGTERM");
            }
            if (m_taken.load() && Clock::now() >= deadline)
                EndNow("velluna play: the orderly end took longer than 2 s: ending at once\n", 1);
        }
    }

    sigset_t m_signals;
    std::atomic<const char*> m_taken{nullptr};
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Waits for a signal, the time limit, or the JACK server going away. Returns the signal's
// name, or null.
const char* WaitForEnd(const SignalWatch& watch, double seconds, const JackAudio* jack)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;)
    {
        if (const char* taken = watch.Taken())
            return taken;
        if (jack && jack->ServerGone())
            return nullptr;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (seconds > 0.0 && elapsed.count() >= seconds)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

int RunPlayCommand(int argc, char** argv)
{
    PlayOptions options;
    if (const int status = ParsePlayOptions(argc, argv, options); status >= 0)
        return status;

    // Every thread made from here on (audio, OSC, recorder) inherits the blocked signals, so
    // they reach only the wait below and shutdown is always orderly.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // From here on a signal ends the run within the bound, even while starting up.
    SignalWatch watch(signals);

    JackAudio jack;
    NullAudio null;
    const bool useJack = options.audio == "jack";
    std::string error;
    if (useJack && !jack.Open(error))
    {
        std::fprintf(stderr, "velluna play: %s\n", error.c_str());
        return 1;
    }
    const double rate = useJack ? jack.SampleRate() : kNullSampleRate;
    const std::uint32_t maxFrames =
        useJack ? std::max<std::uint32_t>(jack.BufferSize(), 8192) : kNullBlock;

    std::unique_ptr<TarnAdditiveSynth> synth;
    if (TW::Status status = TW::OpenComponent(synth); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna play: cannot open an instance (status %d)\n", status);
        return 1;
    }
    synth->SetSampleRate(rate);
    std::uint32_t sliceFrames = maxFrames;
    synth->DispatchSetProperty(TW::kPropertyMaximumFramesPerSlice, TW::Scope::Global, 0,
                               &sliceFrames, sizeof sliceFrames);
    if (TW::Status status = synth->DoInitialize(); status != TW::kNoErr)
    {
        std::fprintf(stderr, "velluna play: Initialize failed (status %d)\n", status);
        TW::CloseComponent(synth);
        return 1;
    }
    // After Initialize, so the OSC port rule uses this run's base port.
    if (!ApplyInstanceOptions(*synth, options.instance, error))
    {
        std::fprintf(stderr, "velluna play: %s\n", error.c_str());
        TW::CloseComponent(synth);
        return 2;
    }
    // From here on the driver owns the instance and closes it.
    auto instance = std::make_unique<TW::PluginInstance>(std::move(synth));

    AudioRecorder recorder;
    const bool recording = !options.record.empty();
    const auto expectedFrames = static_cast<std::uint64_t>(options.seconds * rate);
    if (recording &&
        !recorder.Open(options.record, static_cast<int>(rate), maxFrames, expectedFrames, error))
    {
        std::fprintf(stderr, "velluna play: %s\n", error.c_str());
        return 1;
    }

    if (useJack)
    {
        if (!jack.Start(instance.get(), recording ? &recorder : nullptr, error))
        {
            std::fprintf(stderr, "velluna play: %s\n", error.c_str());
            return 1;
        }
    }
    else
        null.Start(instance.get(), recording ? &recorder : nullptr);

    const int port = instance->Synth().OSC().GetPort();
    std::fprintf(stderr, "velluna play: playing at %.0f Hz (%s audio)%s; stop with Ctrl-C\n", rate,
                 useJack ? "JACK" : "null",
                 port ? (", OSC on UDP port " + std::to_string(port)).c_str() : "");

    const char* signal = WaitForEnd(watch, options.seconds, useJack ? &jack : nullptr);
    const bool serverGone = useJack && jack.ServerGone();

    // Rendering stops first, then the recording is finished, then the instance (and with it
    // the OSC tasks) goes.
    std::uint64_t frames = 0;
    if (useJack)
    {
        frames = jack.FramesRendered();
        jack.Stop();
    }
    else
    {
        null.Stop();
        frames = null.FramesRendered();
    }
    int result = 0;
    if (recording)
    {
        if (!recorder.Close(error))
        {
            std::fprintf(stderr, "velluna play: recording failed: %s\n", error.c_str());
            result = 1;
        }
        else
            std::fprintf(
                stderr, "velluna play: recorded %llu frames to %s%s\n",
                static_cast<unsigned long long>(recorder.FramesWritten()), options.record.c_str(),
                recorder.FramesDropped() ? (" (" + std::to_string(recorder.FramesDropped()) +
                                            " frames lost: the disk could not keep up)")
                                               .c_str()
                                         : "");
    }
    instance.reset();
    if (serverGone)
    {
        std::fprintf(stderr, "velluna play: the JACK server shut down\n");
        result = 1;
    }
    std::fprintf(stderr, "velluna play: stopped%s%s after %.2f s of audio\n", signal ? " by " : "",
                 signal ? signal : "", static_cast<double>(frames) / rate);
    return result;
}
