// velluna play's JACK client: MIDI in, stereo out, the instance driven by the shared driver in
// the process callback.
#pragma once

#include "plugins/driver/PluginInstance.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct _jack_client;
struct _jack_port;
class AudioRecorder;

class JackAudio
{
public:
    JackAudio() = default;
    ~JackAudio();
    JackAudio(const JackAudio&) = delete;
    JackAudio& operator=(const JackAudio&) = delete;

    // Connects to a running JACK server (never starts one) and makes the ports. False with a
    // message when there is no server. Main thread.
    bool Open(std::string& error);
    double SampleRate() const;
    std::uint32_t BufferSize() const;

    // Starts rendering instance (initialized) in JACK's process thread, recording into recorder
    // when it is not null, and connects the outputs to the first physical playback ports.
    // Main thread.
    bool Start(TW::PluginInstance* instance, AudioRecorder* recorder, std::string& error);
    // Stops the process callback and leaves the server. Main thread.
    void Stop();
    // True once the server has shut the client down. Any thread.
    bool ServerGone() const noexcept { return m_serverGone.load(); }
    std::uint64_t FramesRendered() const noexcept { return m_frames.load(); }

private:
    // JACK's process thread: one period's MIDI and audio.
    static int Process(std::uint32_t frames, void* self);
    // JACK's notification thread.
    static void Shutdown(void* self);

    _jack_client* m_client = nullptr;
    _jack_port* m_midiIn = nullptr;
    _jack_port* m_out[2] = {nullptr, nullptr};
    TW::PluginInstance* m_instance = nullptr;
    AudioRecorder* m_recorder = nullptr;
    // One period's MIDI events, made before the first period: as many as the port's buffer can
    // hold, so the process callback never allocates.
    std::vector<TW::PluginMidiMessage> m_messages;
    bool m_active = false;
    std::atomic<bool> m_serverGone{false};
    std::atomic<std::uint64_t> m_frames{0};
};
