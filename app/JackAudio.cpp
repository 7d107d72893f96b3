#include "JackAudio.h"

#include "AudioRecorder.h"

#include "core/TarnAdditiveSynth.h"

#include <jack/jack.h>
#include <jack/midiport.h>

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

bool JackAudio::Start(TarnAdditiveSynth* synth, AudioRecorder* recorder, std::string& error)
{
    m_synth = synth;
    m_recorder = recorder;
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
    TarnAdditiveSynth& synth = *audio->m_synth;
    // MIDI first, each event at its frame within this period.
    void* midi = jack_port_get_buffer(audio->m_midiIn, frames);
    const std::uint32_t count = jack_midi_get_event_count(midi);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        jack_midi_event_t event{};
        if (jack_midi_event_get(&event, midi, i) != 0 || event.size == 0)
            continue;
        const std::uint8_t status = event.buffer[0];
        if (status == 0xF0)
            synth.HandleSysEx(event.buffer, static_cast<std::uint32_t>(event.size));
        else if (status >= 0x80)
            synth.MidiEvent(status, event.size > 1 ? event.buffer[1] : 0,
                            event.size > 2 ? event.buffer[2] : 0, event.time);
    }
    auto* left = static_cast<float*>(jack_port_get_buffer(audio->m_out[0], frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(audio->m_out[1], frames));
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, frames * static_cast<std::uint32_t>(sizeof(float)), left};
    buffers.buffers[1] = {1, frames * static_cast<std::uint32_t>(sizeof(float)), right};
    TW::AudioTimeStamp time;
    time.sampleTime = audio->m_sampleTime;
    std::uint32_t flags = 0;
    if (synth.DoRender(flags, time, frames, buffers) != TW::kNoErr)
        for (std::uint32_t i = 0; i < frames; ++i)
            left[i] = right[i] = 0.0f;
    if (audio->m_recorder)
        audio->m_recorder->Push(left, right, frames);
    audio->m_sampleTime += frames;
    audio->m_frames.fetch_add(frames, std::memory_order_relaxed);
    return 0;
}

void JackAudio::Shutdown(void* self)
{
    static_cast<JackAudio*>(self)->m_serverGone.store(true);
}
