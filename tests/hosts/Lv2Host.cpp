#include "Lv2Host.h"

#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/parameters/parameters.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace VellunaHostTest
{

UridMap::UridMap()
{
    m_map.handle = this;
    m_map.map = [](LV2_URID_Map_Handle h, const char* uri)
    { return static_cast<UridMap*>(h)->Map(uri); };
    m_unmap.handle = this;
    m_unmap.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid)
    { return static_cast<UridMap*>(h)->Unmap(urid); };
}

LV2_URID UridMap::Map(const char* uri)
{
    for (std::size_t i = 0; i < m_uris.size(); ++i)
        if (m_uris[i] == uri)
            return static_cast<LV2_URID>(i + 1);
    m_uris.emplace_back(uri);
    return static_cast<LV2_URID>(m_uris.size());
}

const char* UridMap::Unmap(LV2_URID urid) const
{
    return urid >= 1 && urid <= m_uris.size() ? m_uris[urid - 1].c_str() : nullptr;
}

Lv2World::Lv2World()
{
    ::setenv("LV2_PATH", VELLUNA_LV2_PATH ":/usr/lib/x86_64-linux-gnu/lv2:/usr/lib/lv2", 1);
    m_world = lilv_world_new();
    lilv_world_load_all(m_world);
    LilvNode* uri = lilv_new_uri(m_world, "urn:tarnwick:velluna");
    m_plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(m_world), uri);
    lilv_node_free(uri);
}

Lv2World::~Lv2World()
{
    lilv_world_free(m_world);
}

Lv2Instance::Lv2Instance(const Lv2World& world, UridMap& urids, double sampleRate,
                         std::uint32_t block)
    : m_world(world), m_urids(urids), m_block(block), m_blockL(block), m_blockR(block),
      m_atomIn(1024), m_atomOut(1024)
{
    const LilvPlugin* plugin = world.Plugin();
    if (!plugin)
        return;
    m_blockOption = static_cast<std::int32_t>(block);
    m_rateOption = static_cast<float>(sampleRate);
    const LV2_URID intType = urids.Map(LV2_ATOM__Int), floatType = urids.Map(LV2_ATOM__Float);
    m_options[0] = {LV2_OPTIONS_INSTANCE, 0,       urids.Map(LV2_BUF_SIZE__maxBlockLength),
                    sizeof(std::int32_t), intType, &m_blockOption};
    m_options[1] = {LV2_OPTIONS_INSTANCE, 0,       urids.Map(LV2_BUF_SIZE__nominalBlockLength),
                    sizeof(std::int32_t), intType, &m_blockOption};
    m_options[2] = {LV2_OPTIONS_INSTANCE, 0,         urids.Map(LV2_PARAMETERS__sampleRate),
                    sizeof(float),        floatType, &m_rateOption};
    m_options[3] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    // This host has no worker thread; the instrument schedules no work for MIDI and state.
    m_schedule.handle = nullptr;
    m_schedule.schedule_work = [](LV2_Worker_Schedule_Handle, std::uint32_t, const void*)
    { return LV2_WORKER_ERR_UNKNOWN; };
    m_features[0] = {LV2_URID__map, urids.MapFeature()};
    m_features[1] = {LV2_URID__unmap, urids.UnmapFeature()};
    m_features[2] = {LV2_OPTIONS__options, m_options.data()};
    m_features[3] = {LV2_WORKER__schedule, &m_schedule};
    m_features[4] = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
    m_features[5] = {LV2_BUF_SIZE__fixedBlockLength, nullptr};
    m_changeRequest.handle = this;
    m_changeRequest.request_change = [](void* handle, std::uint32_t index, float value)
    {
        static_cast<Lv2Instance*>(handle)->m_requests.emplace_back(index, value);
        return 0;
    };
    m_features[6] = {kPortChangeRequestUri, &m_changeRequest};
    for (auto& f : m_features)
        m_featureList.push_back(&f);
    m_featureList.push_back(nullptr);

    m_instance = lilv_plugin_instantiate(plugin, sampleRate, m_featureList.data());
    if (!m_instance)
        return;

    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    m_controls.assign(ports, 0.0f);
    std::vector<float> defaults(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    LilvNode* audio = world.Uri(LILV_URI_AUDIO_PORT);
    LilvNode* control = world.Uri(LILV_URI_CONTROL_PORT);
    LilvNode* atom = world.Uri(LV2_ATOM__AtomPort);
    LilvNode* input = world.Uri(LILV_URI_INPUT_PORT);
    std::uint32_t audioOut = 0;
    for (std::uint32_t i = 0; i < ports; ++i)
    {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        if (lilv_port_is_a(plugin, port, audio))
            lilv_instance_connect_port(m_instance, i,
                                       audioOut++ == 0 ? m_blockL.data() : m_blockR.data());
        else if (lilv_port_is_a(plugin, port, control))
        {
            m_controls[i] = defaults[i];
            lilv_instance_connect_port(m_instance, i, &m_controls[i]);
        }
        else if (lilv_port_is_a(plugin, port, atom))
        {
            const bool isInput = lilv_port_is_a(plugin, port, input);
            (isInput ? m_atomInPort : m_atomOutPort) = i;
            lilv_instance_connect_port(m_instance, i, isInput ? m_atomIn.data() : m_atomOut.data());
        }
    }
    for (LilvNode* n : {audio, control, atom, input})
        lilv_node_free(n);
    lilv_instance_activate(m_instance);
}

Lv2Instance::~Lv2Instance()
{
    if (m_instance)
    {
        lilv_instance_deactivate(m_instance);
        lilv_instance_free(m_instance);
    }
}

std::uint32_t Lv2Instance::PortIndex(const char* symbol) const
{
    LilvNode* sym = lilv_new_string(m_world.World(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(m_world.Plugin(), sym);
    lilv_node_free(sym);
    if (!port)
        throw std::runtime_error(std::string("no port ") + symbol);
    return lilv_port_get_index(m_world.Plugin(), port);
}

float& Lv2Instance::Control(const char* symbol)
{
    return m_controls.at(PortIndex(symbol));
}

void Lv2Instance::Run(const std::vector<MidiAt>& midi)
{
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, m_urids.MapFeature());
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(m_atomIn.data()),
                              m_atomIn.size() * sizeof(std::uint64_t));
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_sequence_head(&forge, &frame, 0);
    const LV2_URID midiEvent = m_urids.Map(LV2_MIDI__MidiEvent);
    for (const MidiAt& m : midi)
    {
        lv2_atom_forge_frame_time(&forge, m.frame);
        lv2_atom_forge_atom(&forge, static_cast<std::uint32_t>(m.bytes.size()), midiEvent);
        lv2_atom_forge_write(&forge, m.bytes.data(), static_cast<std::uint32_t>(m.bytes.size()));
    }
    lv2_atom_forge_pop(&forge, &frame);

    auto* out = reinterpret_cast<LV2_Atom*>(m_atomOut.data());
    out->size =
        static_cast<std::uint32_t>(m_atomOut.size() * sizeof(std::uint64_t) - sizeof(LV2_Atom));
    out->type = m_urids.Map(LV2_ATOM__Chunk);

    lilv_instance_run(m_instance, m_block);
    m_left.insert(m_left.end(), m_blockL.begin(), m_blockL.end());
    m_right.insert(m_right.end(), m_blockR.begin(), m_blockR.end());
}

void Lv2Instance::RunFrames(std::uint32_t frames)
{
    for (std::uint32_t done = 0; done < frames; done += m_block)
        Run();
}

void Lv2Instance::SetPortValue(const char* symbol, void* userData, const void* value,
                               std::uint32_t size, std::uint32_t type)
{
    // Preset and state files hold decimals and integers: convert by the value's type.
    auto* self = static_cast<Lv2Instance*>(userData);
    UridMap& u = self->m_urids;
    float& port = self->Control(symbol);
    if (type == u.Map(LV2_ATOM__Float) && size == sizeof(float))
        std::memcpy(&port, value, sizeof(float));
    else if (type == u.Map(LV2_ATOM__Double) && size == sizeof(double))
    {
        double d;
        std::memcpy(&d, value, sizeof d);
        port = static_cast<float>(d);
    }
    else if (type == u.Map(LV2_ATOM__Int) && size == sizeof(std::int32_t))
    {
        std::int32_t i;
        std::memcpy(&i, value, sizeof i);
        port = static_cast<float>(i);
    }
    else if (type == u.Map(LV2_ATOM__Long) && size == sizeof(std::int64_t))
    {
        std::int64_t i;
        std::memcpy(&i, value, sizeof i);
        port = static_cast<float>(i);
    }
    else if (type == u.Map(LV2_ATOM__Bool) && size == sizeof(std::int32_t))
    {
        std::int32_t b;
        std::memcpy(&b, value, sizeof b);
        port = b ? 1.0f : 0.0f;
    }
}

const void* Lv2Instance::GetPortValue(const char* symbol, void* userData, std::uint32_t* size,
                                      std::uint32_t* type)
{
    auto* self = static_cast<Lv2Instance*>(userData);
    *size = sizeof(float);
    *type = self->m_urids.Map(LV2_ATOM__Float);
    return &self->Control(symbol);
}

} // namespace VellunaHostTest
