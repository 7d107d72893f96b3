// The JACK standalone played as a user plays it: a JACK server with the dummy driver (started
// here under a name of its own), the standalone started against it without a display, MIDI from our
// own JACK client into the standalone and its stereo output recorded by that client.
#include "AudioChecks.h"
#include "UserFolders.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace VellunaHostTest;

namespace
{

constexpr std::uint32_t kRate = 48000;

// Runs a program with extra environment entries; returns its pid or -1.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> env = extraEnv;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    return pid;
}

void Stop(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i)
    {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Our client: one MIDI output, two audio inputs recorded into preallocated memory.
struct Recorder
{
    jack_client_t* client = nullptr;
    jack_port_t* midiOut = nullptr;
    jack_port_t* in[2] = {};
    std::vector<float> left = std::vector<float>(kRate * 4), right = std::vector<float>(kRate * 4);
    std::atomic<std::size_t> recorded{0};
    std::atomic<bool> recording{false};
    std::atomic<int> noteState{0}; // 1: send a note-on at frame 10 of the next cycle; 2: sent

    static int Process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<Recorder*>(arg);
        void* midi = jack_port_get_buffer(self->midiOut, frames);
        jack_midi_clear_buffer(midi);
        if (self->noteState.load() == 1)
        {
            const jack_midi_data_t noteOn[3] = {0x90, 69, 100};
            jack_midi_event_write(midi, frames > 10 ? 10 : 0, noteOn, 3);
            self->noteState.store(2);
            self->recording.store(true);
        }
        if (!self->recording.load())
            return 0;
        const auto* l = static_cast<const float*>(jack_port_get_buffer(self->in[0], frames));
        const auto* r = static_cast<const float*>(jack_port_get_buffer(self->in[1], frames));
        std::size_t at = self->recorded.load();
        const std::size_t n = std::min<std::size_t>(frames, self->left.size() - at);
        std::memcpy(self->left.data() + at, l, n * sizeof(float));
        std::memcpy(self->right.data() + at, r, n * sizeof(float));
        self->recorded.store(at + n);
        return 0;
    }
};

TEST(JackStandaloneTest, PlaysMidiFromAnotherClientUnderADummyServer)
{
    IsolateUserFolders(); // the standalone inherits the folders
    const std::string server = "velluna-test-" + std::to_string(::getpid());
    const pid_t jackd = Spawn({"jackd", "--no-realtime", "--name", server, "-d", "dummy", "-r",
                               std::to_string(kRate), "-p", "1024"},
                              {"JACK_NO_AUDIO_RESERVATION=1"});
    ASSERT_GT(jackd, 0) << "jackd cannot be started";

    Recorder rec;
    jack_status_t status{};
    for (int i = 0; i < 100 && !rec.client; ++i)
    {
        rec.client =
            jack_client_open("velluna-test-recorder",
                             static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                             &status, server.c_str());
        if (!rec.client)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!rec.client)
    {
        Stop(jackd);
        FAIL() << "the dummy JACK server did not come up";
    }
    EXPECT_EQ(jack_get_sample_rate(rec.client), kRate);

    // No display: the standalone runs without its window, as on a server.
    const pid_t standalone = Spawn({VELLUNA_STANDALONE}, {"JACK_DEFAULT_SERVER=" + server,
                                                          "JACK_NO_START_SERVER=1", "DISPLAY="});
    ASSERT_GT(standalone, 0);

    rec.midiOut =
        jack_port_register(rec.client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    rec.in[0] = jack_port_register(rec.client, "in_l", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    rec.in[1] = jack_port_register(rec.client, "in_r", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(rec.client, Recorder::Process, &rec);
    ASSERT_EQ(jack_activate(rec.client), 0);

    // The standalone's ports: a MIDI input and two audio outputs under its client name.
    std::string midiIn, out[2];
    for (int i = 0; i < 100 && (midiIn.empty() || out[1].empty()); ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const char** midi =
            jack_get_ports(rec.client, "^Velluna", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
        const char** audio =
            jack_get_ports(rec.client, "^Velluna", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        if (midi && midi[0])
            midiIn = midi[0];
        if (audio && audio[0] && audio[1])
        {
            out[0] = audio[0];
            out[1] = audio[1];
        }
        jack_free(midi);
        jack_free(audio);
    }
    ASSERT_FALSE(midiIn.empty()) << "the standalone has no MIDI input on the server";
    ASSERT_FALSE(out[1].empty()) << "the standalone has no stereo output on the server";
    EXPECT_EQ(jack_connect(rec.client, jack_port_name(rec.midiOut), midiIn.c_str()), 0);
    EXPECT_EQ(jack_connect(rec.client, out[0].c_str(), jack_port_name(rec.in[0])), 0);
    EXPECT_EQ(jack_connect(rec.client, out[1].c_str(), jack_port_name(rec.in[1])), 0);

    // Connections take effect with the server's next graph change: wait until they are in place
    // and a few cycles have run before the note goes out.
    for (int i = 0;
         i < 100 && !(jack_port_connected(rec.midiOut) > 0 && jack_port_connected(rec.in[0]) > 0 &&
                      jack_port_connected(rec.in[1]) > 0);
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // One second from the note on. A busy machine may make a freshly started server drop the
    // first cycles, so a silent take is tried again (twice at most).
    std::size_t taken = 0;
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        rec.recorded.store(0);
        rec.noteState.store(1);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (rec.recorded.load() < kRate && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        rec.recording.store(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the cycle in flight ends
        taken = rec.recorded.load();
        if (taken >= kRate &&
            Peak(std::vector<float>(rec.left.begin(),
                                    rec.left.begin() + static_cast<long>(taken))) > 0.01f)
            break;
    }

    jack_deactivate(rec.client);
    jack_client_close(rec.client);
    Stop(standalone);
    Stop(jackd);

    ASSERT_GE(taken, kRate) << "the dummy server did not run for a second";
    rec.left.resize(taken);
    rec.right.resize(taken);
    EXPECT_GT(Peak(rec.left), 0.01f);
    EXPECT_GT(Peak(rec.right), 0.01f);
    // The server may drop a cycle now and then on a busy machine: the median period is robust.
    EXPECT_NEAR(MedianPeriodPitch(rec.left, kRate / 4, kRate, kRate), 440.0, 5.0);
}

} // namespace
