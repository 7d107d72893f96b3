// The CLAP plug-in: one Velluna instance behind the CLAP C interface. It offers note ports (CLAP
// notes and MIDI), one stereo audio output, the parameters with their value text, the saved
// state, latency 0, the editor (VellunaClapGui), and reports every change the instrument makes
// to its own parameters as a parameter output event, inside the editor's gestures.
#pragma once

#include "ClapGestureQueue.h"
#include "VellunaClapGui.h"
#include "plugins/driver/PluginInstance.h"

#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/latency.h>
#include <clap/ext/note-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/plugin.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace TW
{

class VellunaClapPlugin
{
public:
    static const clap_plugin_descriptor_t* Descriptor() noexcept;

    // Parameter identifier of the program selector: its values are the factory presets.
    // Setting it loads that preset on the main thread. Not an instrument parameter, so it is
    // outside the instrument's identifier range.
    static constexpr clap_id kProgramParamId = 1000;

    explicit VellunaClapPlugin(const clap_host_t* host);
    const clap_plugin_t* Plugin() const noexcept { return &m_plugin; }
    // The editor's side, from init on. Main thread.
    VellunaClapGui* Gui() noexcept { return m_gui.get(); }

private:
    static VellunaClapPlugin* Self(const clap_plugin_t* plugin) noexcept
    {
        return static_cast<VellunaClapPlugin*>(plugin->plugin_data);
    }

    // Lifecycle, main thread (process: audio thread).
    bool Init() noexcept;
    bool Activate(double sampleRate, std::uint32_t maxFrames) noexcept;
    clap_process_status Process(const clap_process_t* process) noexcept;
    const void* GetExtension(const char* id) noexcept;
    void OnMainThread() noexcept;

    // Parameters.
    std::uint32_t ParamCount() const noexcept;
    bool ParamInfo(std::uint32_t index, clap_param_info_t* info) noexcept;
    bool ParamValue(clap_id id, double* value) noexcept;
    bool ValueToText(clap_id id, double value, char* out, std::uint32_t size) noexcept;
    bool TextToValue(clap_id id, const char* text, double* value) noexcept;
    // Applies the host's parameter events of in, then reports the instrument's own changes to
    // out. Audio thread while processing, else main thread.
    void Flush(const clap_input_events_t* in, const clap_output_events_t* out) noexcept;
    void ApplyParamEvent(const clap_event_param_value_t& event) noexcept;
    // The editor's gestures and the instrument's changes, in order: a gesture's values go out
    // before its end. Audio thread while processing, else main thread.
    void ReportChanges(const clap_output_events_t* out) noexcept;

    // State. Main thread.
    bool SaveState(const clap_ostream_t* stream) noexcept;
    bool LoadState(const clap_istream_t* stream) noexcept;

    static const clap_plugin_audio_ports_t ms_audioPorts;
    static const clap_plugin_note_ports_t ms_notePorts;
    static const clap_plugin_params_t ms_params;
    static const clap_plugin_state_t ms_state;
    static const clap_plugin_latency_t ms_latency;

    const clap_host_t* m_host;
    const clap_host_params_t* m_hostParams = nullptr;
    clap_plugin_t m_plugin;
    std::unique_ptr<PluginInstance> m_instance;
    // The selected factory preset, and one the host asked for that the main thread has yet
    // to load (-1: none).
    std::atomic<int> m_program{0};
    std::atomic<int> m_pendingProgram{-1};
    std::atomic<bool> m_programChanged{false};
    // Between the host's start_processing and stop_processing.
    std::atomic<bool> m_processing{false};
    ClapGestureQueue m_gestures;
    // After the instance and the queue: it goes before them.
    std::unique_ptr<VellunaClapGui> m_gui;

    // MIDI of one block, gathered from the host's events. Messages beyond the capacity are
    // dropped.
    static constexpr std::uint32_t kMaxMessages = 1024;
    std::array<PluginMidiMessage, kMaxMessages> m_messages{};
    std::array<std::array<std::uint8_t, 3>, kMaxMessages> m_bytes{};
    // The right channel when a host offers one output channel only.
    std::array<float, 4096> m_scratch{};
};

} // namespace TW
