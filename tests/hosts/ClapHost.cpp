#include "ClapHost.h"

#include <dlfcn.h>

#include <algorithm>

#include <cstring>
#include <stdexcept>

namespace VellunaHostTest
{
namespace
{

struct EventList
{
    const std::vector<std::vector<std::uint8_t>>* events;
};

template <class T> std::vector<std::uint8_t> Bytes(const T& event)
{
    std::vector<std::uint8_t> bytes(sizeof(T));
    std::memcpy(bytes.data(), &event, sizeof(T));
    return bytes;
}

clap_event_header_t Header(std::uint32_t size, std::uint32_t time, std::uint16_t type)
{
    clap_event_header_t h{};
    h.size = size;
    h.time = time;
    h.space_id = CLAP_CORE_EVENT_SPACE_ID;
    h.type = type;
    return h;
}

} // namespace

ClapLibrary::ClapLibrary(const char* path)
{
    m_handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle)
        return;
    m_entry = static_cast<const clap_plugin_entry_t*>(::dlsym(m_handle, "clap_entry"));
    if (!m_entry || !m_entry->init(path))
    {
        m_entry = nullptr;
        return;
    }
    m_factory =
        static_cast<const clap_plugin_factory_t*>(m_entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
}

ClapLibrary::~ClapLibrary()
{
    if (m_entry)
        m_entry->deinit();
    if (m_handle)
        ::dlclose(m_handle);
}

ClapInstance::ClapInstance(const ClapLibrary& library, double sampleRate, std::uint32_t block)
    : m_block(block), m_blockL(block), m_blockR(block)
{
    m_host.clap_version = CLAP_VERSION;
    m_host.host_data = this;
    m_host.name = "Velluna test host";
    m_host.vendor = "Tarnwick";
    m_host.url = "";
    m_host.version = "1.0";
    m_host.get_extension = GetExtension;
    m_host.request_restart = [](const clap_host_t*) {};
    m_host.request_process = [](const clap_host_t*) {};
    m_host.request_callback = [](const clap_host_t* h)
    { static_cast<ClapInstance*>(h->host_data)->m_callbackRequested = true; };
    m_hostParams.rescan = [](const clap_host_t* h, clap_param_rescan_flags)
    { ++static_cast<ClapInstance*>(h->host_data)->m_rescans; };
    m_hostParams.clear = [](const clap_host_t*, clap_id, clap_param_clear_flags) {};
    m_hostParams.request_flush = [](const clap_host_t* h)
    { static_cast<ClapInstance*>(h->host_data)->m_flushRequested = true; };
    m_hostGui.resize_hints_changed = [](const clap_host_t*) {};
    m_hostGui.request_resize = [](const clap_host_t* h, std::uint32_t width, std::uint32_t height)
    {
        static_cast<ClapInstance*>(h->host_data)->m_resizeRequests.emplace_back(width, height);
        return true;
    };
    m_hostGui.request_show = [](const clap_host_t*) { return false; };
    m_hostGui.request_hide = [](const clap_host_t*) { return false; };
    m_hostGui.closed = [](const clap_host_t* h, bool wasDestroyed)
    { static_cast<ClapInstance*>(h->host_data)->m_closings.push_back(wasDestroyed); };
    m_hostTimer.register_timer = [](const clap_host_t* h, std::uint32_t period, clap_id* id)
    {
        auto* self = static_cast<ClapInstance*>(h->host_data);
        *id = self->m_nextTimer++;
        self->m_timers[*id] = period;
        self->m_timerPeriods.push_back(period);
        return true;
    };
    m_hostTimer.unregister_timer = [](const clap_host_t* h, clap_id id)
    { return static_cast<ClapInstance*>(h->host_data)->m_timers.erase(id) == 1; };

    if (!library.Factory())
        return;
    m_plugin = library.Factory()->create_plugin(library.Factory(), &m_host, "com.tarnwick.velluna");
    if (!m_plugin || !m_plugin->init(m_plugin))
        return;
    m_params = static_cast<const clap_plugin_params_t*>(
        m_plugin->get_extension(m_plugin, CLAP_EXT_PARAMS));
    m_gui = static_cast<const clap_plugin_gui_t*>(m_plugin->get_extension(m_plugin, CLAP_EXT_GUI));
    m_timer = static_cast<const clap_plugin_timer_support_t*>(
        m_plugin->get_extension(m_plugin, CLAP_EXT_TIMER_SUPPORT));
    m_active = m_plugin->activate(m_plugin, sampleRate, 1, block);
    if (m_active)
        StartProcessing();
}

ClapInstance::~ClapInstance()
{
    if (!m_plugin)
        return;
    if (m_active)
    {
        StopProcessing();
        m_plugin->deactivate(m_plugin);
    }
    m_plugin->destroy(m_plugin);
}

void ClapInstance::StopProcessing()
{
    if (m_processing)
        m_plugin->stop_processing(m_plugin);
    m_processing = false;
}

void ClapInstance::StartProcessing()
{
    if (!m_processing)
        m_processing = m_plugin->start_processing(m_plugin);
}

void ClapInstance::RunTimers()
{
    std::vector<clap_id> ids;
    for (const auto& [id, period] : m_timers)
        ids.push_back(id);
    for (clap_id id : ids)
        if (m_timers.count(id))
            m_timer->on_timer(m_plugin, id);
}

const void* ClapInstance::GetExtension(const clap_host_t* host, const char* id)
{
    auto* self = static_cast<ClapInstance*>(host->host_data);
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0)
        return &self->m_hostParams;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0)
        return &self->m_hostGui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
        return &self->m_hostTimer;
    return nullptr;
}

void ClapInstance::NoteOn(std::uint32_t time, std::int16_t key, double velocity)
{
    clap_event_note_t e{};
    e.header = Header(sizeof e, time, CLAP_EVENT_NOTE_ON);
    e.note_id = -1;
    e.port_index = 0;
    e.channel = 0;
    e.key = key;
    e.velocity = velocity;
    m_events.push_back(Bytes(e));
}

void ClapInstance::Midi(std::uint32_t time, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    clap_event_midi_t e{};
    e.header = Header(sizeof e, time, CLAP_EVENT_MIDI);
    e.port_index = 0;
    e.data[0] = b0;
    e.data[1] = b1;
    e.data[2] = b2;
    m_events.push_back(Bytes(e));
}

void ClapInstance::SetParam(std::uint32_t time, clap_id id, double value)
{
    clap_event_param_value_t e{};
    e.header = Header(sizeof e, time, CLAP_EVENT_PARAM_VALUE);
    e.param_id = id;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = value;
    m_events.push_back(Bytes(e));
}

namespace
{

clap_input_events_t InputEvents(const std::vector<std::vector<std::uint8_t>>* events)
{
    clap_input_events_t in{};
    in.ctx = const_cast<std::vector<std::vector<std::uint8_t>>*>(events);
    in.size = [](const clap_input_events_t* list)
    {
        return static_cast<std::uint32_t>(
            static_cast<const std::vector<std::vector<std::uint8_t>>*>(list->ctx)->size());
    };
    in.get = [](const clap_input_events_t* list, std::uint32_t index)
    {
        const auto& v = *static_cast<const std::vector<std::vector<std::uint8_t>>*>(list->ctx);
        return index < v.size() ? reinterpret_cast<const clap_event_header_t*>(v[index].data())
                                : nullptr;
    };
    return in;
}

struct OutputLists
{
    std::vector<std::pair<clap_id, double>>* values;
    std::vector<ClapInstance::OutputEvent>* log;
};

clap_output_events_t OutputEvents(OutputLists* lists)
{
    clap_output_events_t out{};
    out.ctx = lists;
    out.try_push = [](const clap_output_events_t* list, const clap_event_header_t* event)
    {
        auto* lists = static_cast<OutputLists*>(list->ctx);
        if (event->space_id != CLAP_CORE_EVENT_SPACE_ID)
            return true;
        if (event->type == CLAP_EVENT_PARAM_VALUE)
        {
            const auto* p = reinterpret_cast<const clap_event_param_value_t*>(event);
            lists->values->emplace_back(p->param_id, p->value);
            lists->log->push_back({event->type, p->param_id, p->value});
        }
        else if (event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ||
                 event->type == CLAP_EVENT_PARAM_GESTURE_END)
        {
            const auto* g = reinterpret_cast<const clap_event_param_gesture_t*>(event);
            lists->log->push_back({event->type, g->param_id, 0.0});
        }
        return true;
    };
    return out;
}

} // namespace

void ClapInstance::Process()
{
    const clap_input_events_t in = InputEvents(&m_events);
    OutputLists lists{&m_outputs, &m_log};
    const clap_output_events_t out = OutputEvents(&lists);
    float* channels[2] = {m_blockL.data(), m_blockR.data()};
    clap_audio_buffer_t output{};
    output.data32 = channels;
    output.channel_count = 2;
    clap_process_t process{};
    process.steady_time = m_steadyTime;
    process.frames_count = m_block;
    process.audio_outputs = &output;
    process.audio_outputs_count = 1;
    process.in_events = &in;
    process.out_events = &out;
    if (m_plugin->process(m_plugin, &process) == CLAP_PROCESS_ERROR)
        throw std::runtime_error("process failed");
    m_events.clear();
    m_steadyTime += m_block;
    if (!m_keepAudio)
        return;
    m_left.insert(m_left.end(), m_blockL.begin(), m_blockL.end());
    m_right.insert(m_right.end(), m_blockR.begin(), m_blockR.end());
}

void ClapInstance::ProcessFrames(std::uint32_t frames)
{
    for (std::uint32_t done = 0; done < frames; done += m_block)
        Process();
}

bool ClapInstance::RunMainThreadCallback()
{
    if (!m_callbackRequested)
        return false;
    m_callbackRequested = false;
    m_plugin->on_main_thread(m_plugin);
    return true;
}

void ClapInstance::Flush()
{
    const clap_input_events_t in = InputEvents(&m_events);
    OutputLists lists{&m_outputs, &m_log};
    const clap_output_events_t out = OutputEvents(&lists);
    m_params->flush(m_plugin, &in, &out);
    m_events.clear();
}

double ClapInstance::Value(clap_id id) const
{
    double value = -12345.0;
    if (!m_params->get_value(m_plugin, id, &value))
        throw std::runtime_error("no value for " + std::to_string(id));
    return value;
}

std::string ClapInstance::Text(clap_id id, double value) const
{
    char text[CLAP_NAME_SIZE] = {};
    if (!m_params->value_to_text(m_plugin, id, value, text, sizeof text))
        return "(none)";
    return text;
}

std::vector<std::uint8_t> ClapInstance::SaveState() const
{
    const auto* state =
        static_cast<const clap_plugin_state_t*>(m_plugin->get_extension(m_plugin, CLAP_EXT_STATE));
    std::vector<std::uint8_t> bytes;
    clap_ostream_t stream{};
    stream.ctx = &bytes;
    stream.write = [](const clap_ostream_t* s, const void* data, std::uint64_t size)
    {
        auto* b = static_cast<std::vector<std::uint8_t>*>(s->ctx);
        // A host may take less than offered; take at most 100 bytes per call to prove the loop.
        const std::uint64_t n = size < 100 ? size : 100;
        b->insert(b->end(), static_cast<const std::uint8_t*>(data),
                  static_cast<const std::uint8_t*>(data) + n);
        return static_cast<std::int64_t>(n);
    };
    if (!state || !state->save(m_plugin, &stream))
        bytes.clear();
    return bytes;
}

bool ClapInstance::LoadState(const std::vector<std::uint8_t>& bytes)
{
    const auto* state =
        static_cast<const clap_plugin_state_t*>(m_plugin->get_extension(m_plugin, CLAP_EXT_STATE));
    struct Reader
    {
        const std::vector<std::uint8_t>* bytes;
        std::size_t pos;
    } reader{&bytes, 0};
    clap_istream_t stream{};
    stream.ctx = &reader;
    stream.read = [](const clap_istream_t* s, void* buffer, std::uint64_t size)
    {
        auto* r = static_cast<Reader*>(s->ctx);
        const std::size_t left = r->bytes->size() - r->pos;
        const std::size_t n = std::min<std::size_t>({left, size, 77});
        std::memcpy(buffer, r->bytes->data() + r->pos, n);
        r->pos += n;
        return static_cast<std::int64_t>(n);
    };
    return state && state->load(m_plugin, &stream);
}

} // namespace VellunaHostTest
