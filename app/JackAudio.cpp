#include "JackAudio.h"

#include "AudioRecorder.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>

JackAudio::~JackAudio()
{
    Stop();
}

bool JackAudio::Open(std::string& error)
{
    jack_status_t status{};
    m_client = jack_client_open("velluna", JackNoStartServer, &status);
    if (!m_client)
    {
        error = "cannot connect to a JACK server (is one running?); use --audio null to play "
                "without one";
        return false;
    }
    m_midiIn = jack_port_register(m_client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_out[0] =
        jack_port_register(m_client, "out_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    m_out[1] =
        jack_port_register(m_client, "out_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (!m_midiIn || !m_out[0] || !m_out[1])
    {
        error = "cannot register the JACK ports";
        Stop();
        return false;
    }
    return true;
}

double JackAudio::SampleRate() const
{
    return m_client ? static_cast<double>(jack_get_sample_rate(m_client)) : 0.0;
}

std::uint32_t JackAudio::BufferSize() const
{
    return m_client ? jack_get_buffer_size(m_client) : 0;
}

bool JackAudio::Start(TW::PluginInstance* instance, AudioRecorder* recorder, std::string& error)
{
    m_instance = instance;
    m_recorder = recorder;
    // Every event takes at least one byte of the port's buffer, so a period never has more
    // events than the buffer has bytes.
    m_messages.resize(
        std::max<std::size_t>(jack_port_type_get_buffer_size(m_client, JACK_DEFAULT_MIDI_TYPE), 1));
    jack_set_process_callback(m_client, &Process, this);
    jack_on_shutdown(m_client, &Shutdown, this);
    if (jack_activate(m_client) != 0)
    {
        error = "cannot activate the JACK client";
        return false;
    }
    m_active = true;
    // Playback is heard at once when the system has speakers; a failed connection is harmless.
    if (const char** ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsPhysical | JackPortIsInput))
    {
        for (int i = 0; i < 2 && ports[i]; ++i)
            jack_connect(m_client, jack_port_name(m_out[i]), ports[i]);
        jack_free(ports);
    }
    return true;
}

void JackAudio::Stop()
{
    if (!m_client)
        return;
    if (m_active && !m_serverGone.load())
        jack_deactivate(m_client);
    m_active = false;
    jack_client_close(m_client);
    m_client = nullptr;
}

int JackAudio::Process(std::uint32_t frames, void* self)
{
    auto* audio = static_cast<JackAudio*>(self);
    // The period's MIDI, each event at its frame: the driver cuts the period where the
    // instance's event queue would overflow.
    void* midi = jack_port_get_buffer(audio->m_midiIn, frames);
    const std::uint32_t available = jack_midi_get_event_count(midi);
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < available && count < audio->m_messages.size(); ++i)
    {
        jack_midi_event_t event{};
        // Running status and stray data bytes carry no status byte: nothing to play.
        if (jack_midi_event_get(&event, midi, i) != 0 || event.size == 0 || event.buffer[0] < 0x80)
            continue;
        audio->m_messages[count++] = {event.time, static_cast<std::uint32_t>(event.size),
                                      event.buffer};
    }
    auto* left = static_cast<float*>(jack_port_get_buffer(audio->m_out[0], frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(audio->m_out[1], frames));
    audio->m_instance->Process(audio->m_messages.data(), count, left, right, frames);
    if (audio->m_recorder)
        audio->m_recorder->Push(left, right, frames);
    audio->m_frames.fetch_add(frames, std::memory_order_relaxed);
    return 0;
}

void JackAudio::Shutdown(void* self)
{
    static_cast<JackAudio*>(self)->m_serverGone.store(true);
}
