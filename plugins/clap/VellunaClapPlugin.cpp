#include "VellunaClapPlugin.h"

#include "core/ParameterTable.h"
#include "core/VellunaVersion.h"
#include "plugins/driver/PluginParameterMap.h"

#include <clap/events.h>
#include <clap/plugin-features.h>
#include <clap/process.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace TW
{
namespace
{

void CopyText(char* out, std::uint32_t size, const std::string& text) noexcept
{
    if (size == 0)
        return;
    std::snprintf(out, size, "%s", text.c_str());
}

std::uint8_t MidiVelocity(double velocity, bool noteOn) noexcept
{
    long v = std::lround(std::fmin(std::fmax(velocity, 0.0), 1.0) * 127.0);
    // A note-on of velocity 0 would be read as a note-off.
    if (noteOn && v < 1)
        v = 1;
    return static_cast<std::uint8_t>(v);
}

} // namespace

const clap_plugin_descriptor_t* VellunaClapPlugin::Descriptor() noexcept
{
    static const char* features[] = {CLAP_PLUGIN_FEATURE_INSTRUMENT,
                                     CLAP_PLUGIN_FEATURE_SYNTHESIZER, CLAP_PLUGIN_FEATURE_STEREO,
                                     nullptr};
    static const clap_plugin_descriptor_t descriptor = {
        CLAP_VERSION_INIT,
        "com.tarnwick.velluna",
        "Velluna",
        "Tarnwick",
        "https://tarnwick.example/velluna",
        "",
        "",
        Tarn::kVersionString,
        "Polyphonic additive synthesizer with Lua MIDI scripting and OSC remote control",
        features};
    return &descriptor;
}

VellunaClapPlugin::VellunaClapPlugin(const clap_host_t* host) : m_host(host)
{
    m_plugin.desc = Descriptor();
    m_plugin.plugin_data = this;
    m_plugin.init = [](const clap_plugin_t* p) { return Self(p)->Init(); };
    m_plugin.destroy = [](const clap_plugin_t* p) { delete Self(p); };
    m_plugin.activate = [](const clap_plugin_t* p, double rate, std::uint32_t,
                           std::uint32_t maxFrames) { return Self(p)->Activate(rate, maxFrames); };
    m_plugin.deactivate = [](const clap_plugin_t*) {};
    m_plugin.start_processing = [](const clap_plugin_t* p)
    {
        Self(p)->m_processing.store(true, std::memory_order_release);
        return true;
    };
    m_plugin.stop_processing = [](const clap_plugin_t* p)
    { Self(p)->m_processing.store(false, std::memory_order_release); };
    // Audio thread: all sound off, which the next block applies before rendering.
    m_plugin.reset = [](const clap_plugin_t* p)
    { Self(p)->m_instance->Synth().MidiEvent(0xB0, 120, 0, 0); };
    m_plugin.process = [](const clap_plugin_t* p, const clap_process_t* process)
    { return Self(p)->Process(process); };
    m_plugin.get_extension = [](const clap_plugin_t* p, const char* id)
    { return Self(p)->GetExtension(id); };
    m_plugin.on_main_thread = [](const clap_plugin_t* p) { Self(p)->OnMainThread(); };
}

bool VellunaClapPlugin::Init() noexcept
{
    try
    {
        m_instance = std::make_unique<PluginInstance>();
        m_gui = std::make_unique<VellunaClapGui>(m_host, *m_instance, m_gestures, m_processing);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "Velluna: the instance cannot be opened (%s)\n", e.what());
        return false;
    }
    m_hostParams =
        static_cast<const clap_host_params_t*>(m_host->get_extension(m_host, CLAP_EXT_PARAMS));
    m_instance->Changes().Clear();
    return true;
}

bool VellunaClapPlugin::Activate(double sampleRate, std::uint32_t maxFrames) noexcept
{
    return m_instance->Activate(sampleRate, maxFrames) == kNoErr;
}

clap_process_status VellunaClapPlugin::Process(const clap_process_t* process) noexcept
{
    const std::uint32_t frames = process->frames_count;
    std::uint32_t count = 0;
    auto add = [&](std::uint32_t time, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
    {
        if (count == kMaxMessages)
            return;
        m_bytes[count] = {b0, b1, b2};
        m_messages[count] = {time, 3, m_bytes[count].data()};
        ++count;
    };

    const clap_input_events_t* in = process->in_events;
    const std::uint32_t eventCount = in ? in->size(in) : 0;
    for (std::uint32_t i = 0; i < eventCount; ++i)
    {
        const clap_event_header_t* header = in->get(in, i);
        if (!header || header->space_id != CLAP_CORE_EVENT_SPACE_ID)
            continue;
        switch (header->type)
        {
        case CLAP_EVENT_NOTE_ON:
        case CLAP_EVENT_NOTE_OFF:
        case CLAP_EVENT_NOTE_CHOKE:
        {
            const auto* note = reinterpret_cast<const clap_event_note_t*>(header);
            const bool on = header->type == CLAP_EVENT_NOTE_ON;
            const std::uint8_t channel = static_cast<std::uint8_t>(note->channel & 0x0F);
            if (note->key < 0 || note->key > 127)
            {
                // A note-off for every key: all notes off on that channel.
                if (!on)
                    add(header->time, static_cast<std::uint8_t>(0xB0 | channel), 123, 0);
                break;
            }
            add(header->time, static_cast<std::uint8_t>((on ? 0x90 : 0x80) | channel),
                static_cast<std::uint8_t>(note->key),
                header->type == CLAP_EVENT_NOTE_CHOKE ? 0 : MidiVelocity(note->velocity, on));
            break;
        }
        case CLAP_EVENT_MIDI:
        {
            const auto* midi = reinterpret_cast<const clap_event_midi_t*>(header);
            add(header->time, midi->data[0], midi->data[1], midi->data[2]);
            break;
        }
        case CLAP_EVENT_MIDI_SYSEX:
        {
            const auto* sysex = reinterpret_cast<const clap_event_midi_sysex_t*>(header);
            if (count < kMaxMessages && sysex->buffer && sysex->size > 0)
                m_messages[count++] = {header->time, sysex->size, sysex->buffer};
            break;
        }
        case CLAP_EVENT_PARAM_VALUE:
            ApplyParamEvent(*reinterpret_cast<const clap_event_param_value_t*>(header));
            break;
        default:
            break;
        }
    }

    float* left = nullptr;
    float* right = nullptr;
    if (process->audio_outputs_count > 0 && process->audio_outputs[0].data32)
    {
        const clap_audio_buffer_t& out = process->audio_outputs[0];
        left = out.channel_count > 0 ? out.data32[0] : nullptr;
        right = out.channel_count > 1 ? out.data32[1] : left;
    }
    if (left && right && left != right)
        m_instance->Process(m_messages.data(), count, left, right, frames);
    else if (left)
    {
        // A mono output: the instrument still renders stereo; the host gets the left side.
        const std::uint32_t chunk = static_cast<std::uint32_t>(m_scratch.size());
        for (std::uint32_t done = 0; done < frames; done += chunk)
        {
            const std::uint32_t n = frames - done < chunk ? frames - done : chunk;
            m_instance->Process(done == 0 ? m_messages.data() : nullptr, done == 0 ? count : 0,
                                left + done, m_scratch.data(), n);
        }
    }
    ReportChanges(process->out_events);
    return CLAP_PROCESS_CONTINUE;
}

void VellunaClapPlugin::ApplyParamEvent(const clap_event_param_value_t& event) noexcept
{
    if (event.param_id == kProgramParamId)
    {
        const long index = std::lround(event.value);
        if (index >= 0 && static_cast<std::size_t>(index) < m_instance->Presets().size())
        {
            // Loading a preset sets 172 parameters and is main-thread work.
            m_pendingProgram.store(static_cast<int>(index), std::memory_order_release);
            m_host->request_callback(m_host);
        }
        return;
    }
    if (PluginParameterMap::IndexOf(event.param_id) < 0)
        return;
    m_instance->SetParameter(event.param_id, static_cast<float>(event.value));
}

void VellunaClapPlugin::ReportChanges(const clap_output_events_t* out) noexcept
{
    if (!out)
        return;
    auto push = [&](clap_id id, double value)
    {
        clap_event_param_value_t event{};
        event.header.size = sizeof event;
        event.header.time = 0;
        event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
        event.header.type = CLAP_EVENT_PARAM_VALUE;
        event.header.flags = 0;
        event.param_id = id;
        event.cookie = nullptr;
        event.note_id = -1;
        event.port_index = -1;
        event.channel = -1;
        event.key = -1;
        event.value = value;
        out->try_push(out, &event.header);
    };
    auto pushValues = [&]
    {
        m_instance->Changes().TakeChanges(
            [&](std::uint32_t id)
            {
                if (PluginParameterMap::IndexOf(id) >= 0)
                    push(id, m_instance->GetParameter(id));
            });
    };
    if (m_programChanged.exchange(false, std::memory_order_acq_rel))
        push(kProgramParamId, m_program.load(std::memory_order_acquire));
    m_gestures.Drain(
        [&](const ClapGestureQueue::Gesture& gesture)
        {
            // The values edited in the gesture were set before its end was queued.
            if (!gesture.begin)
                pushValues();
            clap_event_param_gesture_t event{};
            event.header.size = sizeof event;
            event.header.time = 0;
            event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
            event.header.type = static_cast<std::uint16_t>(
                gesture.begin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END);
            event.header.flags = 0;
            event.param_id = gesture.id;
            out->try_push(out, &event.header);
        });
    pushValues();
}

void VellunaClapPlugin::OnMainThread() noexcept
{
    const int program = m_pendingProgram.exchange(-1, std::memory_order_acq_rel);
    if (program < 0)
        return;
    if (m_instance->LoadPreset(static_cast<std::uint32_t>(program)) == kNoErr)
    {
        m_program.store(program, std::memory_order_release);
        m_programChanged.store(true, std::memory_order_release);
    }
    // The preset's values reach the host as output events at the next flush or process.
    if (m_hostParams)
        m_hostParams->request_flush(m_host);
}

const void* VellunaClapPlugin::GetExtension(const char* id) noexcept
{
    if (!std::strcmp(id, CLAP_EXT_AUDIO_PORTS))
        return &ms_audioPorts;
    if (!std::strcmp(id, CLAP_EXT_NOTE_PORTS))
        return &ms_notePorts;
    if (!std::strcmp(id, CLAP_EXT_PARAMS))
        return &ms_params;
    if (!std::strcmp(id, CLAP_EXT_STATE))
        return &ms_state;
    if (!std::strcmp(id, CLAP_EXT_LATENCY))
        return &ms_latency;
    // The editor's extensions from init on, once there is an instance to edit.
    if (m_gui && !std::strcmp(id, CLAP_EXT_GUI))
        return VellunaClapGui::GuiExtension();
    if (m_gui && !std::strcmp(id, CLAP_EXT_TIMER_SUPPORT))
        return VellunaClapGui::TimerExtension();
    return nullptr;
}

std::uint32_t VellunaClapPlugin::ParamCount() const noexcept
{
    return PluginParameterMap::Count() + 1;
}

bool VellunaClapPlugin::ParamInfo(std::uint32_t index, clap_param_info_t* info) noexcept
{
    if (index > PluginParameterMap::Count())
        return false;
    std::memset(info, 0, sizeof *info);
    info->cookie = nullptr;
    if (index == PluginParameterMap::Count())
    {
        const auto& presets = m_instance->Presets();
        info->id = kProgramParamId;
        info->flags = CLAP_PARAM_IS_STEPPED;
        CopyText(info->name, sizeof info->name, "Program");
        CopyText(info->module, sizeof info->module, "Presets");
        info->min_value = 0.0;
        info->max_value = presets.empty() ? 0.0 : static_cast<double>(presets.size() - 1);
        info->default_value = 0.0;
        return true;
    }
    const ParameterID id = PluginParameterMap::IdAt(index);
    const Tarn::ParamInfo& p = Tarn::astParamInfos[id];
    info->id = id;
    // The OSC port offset re-binds a network socket: not something to automate.
    info->flags = id == Tarn::kParamOSCPortOffset
                      ? 0u
                      : static_cast<std::uint32_t>(CLAP_PARAM_IS_AUTOMATABLE);
    if (PluginParameterMap::IsStepped(id))
        info->flags |= CLAP_PARAM_IS_STEPPED;
    CopyText(info->name, sizeof info->name, p.name);
    CopyText(info->module, sizeof info->module, PluginParameterMap::Section(id));
    info->min_value = p.minValue;
    info->max_value = p.maxValue;
    info->default_value = p.defaultValue;
    return true;
}

bool VellunaClapPlugin::ParamValue(clap_id id, double* value) noexcept
{
    if (id == kProgramParamId)
    {
        *value = m_program.load(std::memory_order_acquire);
        return true;
    }
    if (PluginParameterMap::IndexOf(id) < 0)
        return false;
    *value = m_instance->GetParameter(id);
    return true;
}

bool VellunaClapPlugin::ValueToText(clap_id id, double value, char* out,
                                    std::uint32_t size) noexcept
{
    try
    {
        if (id == kProgramParamId)
        {
            const auto& presets = m_instance->Presets();
            const long index = std::lround(value);
            if (index < 0 || static_cast<std::size_t>(index) >= presets.size())
                return false;
            CopyText(out, size, presets[static_cast<std::size_t>(index)].name);
            return true;
        }
        if (PluginParameterMap::IndexOf(id) < 0)
            return false;
        CopyText(out, size, m_instance->FormatValue(id, static_cast<float>(value)));
        return true;
    }
    catch (...)
    {
        return false;
    }
}

bool VellunaClapPlugin::TextToValue(clap_id id, const char* text, double* value) noexcept
{
    try
    {
        if (id == kProgramParamId)
        {
            const auto& presets = m_instance->Presets();
            for (std::size_t i = 0; i < presets.size(); ++i)
                if (presets[i].name == text)
                {
                    *value = static_cast<double>(i);
                    return true;
                }
            return false;
        }
        float v = 0.0f;
        if (PluginParameterMap::IndexOf(id) < 0 || !m_instance->ParseValue(id, text, v))
            return false;
        *value = v;
        return true;
    }
    catch (...)
    {
        return false;
    }
}

void VellunaClapPlugin::Flush(const clap_input_events_t* in,
                              const clap_output_events_t* out) noexcept
{
    const std::uint32_t count = in ? in->size(in) : 0;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const clap_event_header_t* header = in->get(in, i);
        if (header && header->space_id == CLAP_CORE_EVENT_SPACE_ID &&
            header->type == CLAP_EVENT_PARAM_VALUE)
            ApplyParamEvent(*reinterpret_cast<const clap_event_param_value_t*>(header));
    }
    ReportChanges(out);
}

bool VellunaClapPlugin::SaveState(const clap_ostream_t* stream) noexcept
{
    try
    {
        const std::string text = m_instance->SaveState();
        if (text.empty())
            return false;
        std::size_t done = 0;
        while (done < text.size())
        {
            const std::int64_t n = stream->write(stream, text.data() + done, text.size() - done);
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    catch (...)
    {
        return false;
    }
}

bool VellunaClapPlugin::LoadState(const clap_istream_t* stream) noexcept
{
    try
    {
        constexpr std::size_t kMaxStateBytes = 4u << 20;
        std::string text;
        char buffer[4096];
        for (;;)
        {
            const std::int64_t n = stream->read(stream, buffer, sizeof buffer);
            if (n < 0)
                return false;
            if (n == 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
            if (text.size() > kMaxStateBytes)
            {
                std::fprintf(stderr, "Velluna: saved state is too large; nothing restored\n");
                return false;
            }
        }
        if (m_instance->RestoreState(text) != kNoErr)
            return false;
        // The restore writes the values straight into the store: the host reads them anew.
        if (m_hostParams)
            m_hostParams->rescan(m_host, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
        return true;
    }
    catch (...)
    {
        return false;
    }
}

const clap_plugin_audio_ports_t VellunaClapPlugin::ms_audioPorts = {
    [](const clap_plugin_t*, bool isInput) -> std::uint32_t { return isInput ? 0 : 1; },
    [](const clap_plugin_t*, std::uint32_t index, bool isInput, clap_audio_port_info_t* info)
    {
        if (isInput || index != 0)
            return false;
        std::memset(info, 0, sizeof *info);
        info->id = 0;
        CopyText(info->name, sizeof info->name, "Output");
        info->flags = CLAP_AUDIO_PORT_IS_MAIN;
        info->channel_count = 2;
        info->port_type = CLAP_PORT_STEREO;
        info->in_place_pair = CLAP_INVALID_ID;
        return true;
    }};

const clap_plugin_note_ports_t VellunaClapPlugin::ms_notePorts = {
    [](const clap_plugin_t*, bool isInput) -> std::uint32_t { return isInput ? 1 : 0; },
    [](const clap_plugin_t*, std::uint32_t index, bool isInput, clap_note_port_info_t* info)
    {
        if (!isInput || index != 0)
            return false;
        std::memset(info, 0, sizeof *info);
        info->id = 0;
        info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
        info->preferred_dialect = CLAP_NOTE_DIALECT_MIDI;
        CopyText(info->name, sizeof info->name, "MIDI In");
        return true;
    }};

const clap_plugin_params_t VellunaClapPlugin::ms_params = {
    [](const clap_plugin_t* p) { return Self(p)->ParamCount(); },
    [](const clap_plugin_t* p, std::uint32_t index, clap_param_info_t* info)
    { return Self(p)->ParamInfo(index, info); },
    [](const clap_plugin_t* p, clap_id id, double* value)
    { return Self(p)->ParamValue(id, value); },
    [](const clap_plugin_t* p, clap_id id, double value, char* out, std::uint32_t size)
    { return Self(p)->ValueToText(id, value, out, size); },
    [](const clap_plugin_t* p, clap_id id, const char* text, double* value)
    { return Self(p)->TextToValue(id, text, value); },
    [](const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out)
    { Self(p)->Flush(in, out); }};

const clap_plugin_state_t VellunaClapPlugin::ms_state = {
    [](const clap_plugin_t* p, const clap_ostream_t* s) { return Self(p)->SaveState(s); },
    [](const clap_plugin_t* p, const clap_istream_t* s) { return Self(p)->LoadState(s); }};

const clap_plugin_latency_t VellunaClapPlugin::ms_latency = {
    [](const clap_plugin_t*) -> std::uint32_t { return 0; }};

} // namespace TW
