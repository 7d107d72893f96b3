// A small LV2 host on lilv for the plug-in tests: finds the built bundle through LV2_PATH,
// instantiates it with the features a real host offers, feeds MIDI through the atom port at
// given frames and collects the audio.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace VellunaHostTest
{

struct MidiAt
{
    std::uint32_t frame;
    std::vector<std::uint8_t> bytes;
};

class UridMap
{
public:
    UridMap();
    LV2_URID Map(const char* uri);
    const char* Unmap(LV2_URID urid) const;
    LV2_URID_Map* MapFeature() { return &m_map; }
    LV2_URID_Unmap* UnmapFeature() { return &m_unmap; }

private:
    std::deque<std::string> m_uris; // index + 1 is the URID; deque keeps c_str() stable
    LV2_URID_Map m_map;
    LV2_URID_Unmap m_unmap;
};

class Lv2World
{
public:
    // Sets LV2_PATH to the build's bundle folder (and the system's) and loads everything.
    Lv2World();
    ~Lv2World();
    LilvWorld* World() const { return m_world; }
    const LilvPlugin* Plugin() const { return m_plugin; }
    LilvNode* Uri(const char* uri) const { return lilv_new_uri(m_world, uri); }

private:
    LilvWorld* m_world = nullptr;
    const LilvPlugin* m_plugin = nullptr;
};

// The host side of the control-input-port change-request feature (a plug-in asks the host to
// set one of its control input ports, by port index).
struct PortChangeRequest
{
    void* handle;
    int (*request_change)(void* handle, std::uint32_t index, float value);
};
constexpr const char* kPortChangeRequestUri =
    "http://kx.studio/ns/lv2ext/control-input-port-change-request";

class Lv2Instance
{
public:
    Lv2Instance(const Lv2World& world, UridMap& urids, double sampleRate, std::uint32_t block);
    ~Lv2Instance();

    bool Valid() const { return m_instance != nullptr; }
    LilvInstance* Handle() const { return m_instance; }
    const LV2_Feature* const* Features() const { return m_featureList.data(); }

    // The control port with this symbol ("p139"); dies when there is none.
    float& Control(const char* symbol);
    std::uint32_t PortIndex(const char* symbol) const;

    // Runs one block with these messages; appends its audio to Left()/Right().
    void Run(const std::vector<MidiAt>& midi = {});
    void RunFrames(std::uint32_t frames);

    const std::vector<float>& Left() const { return m_left; }
    const std::vector<float>& Right() const { return m_right; }
    std::vector<float>& Controls() { return m_controls; }
    // Change requests received from the plug-in: (port index, value).
    std::vector<std::pair<std::uint32_t, float>>& Requests() { return m_requests; }

    static void SetPortValue(const char* symbol, void* userData, const void* value,
                             std::uint32_t size, std::uint32_t type);
    static const void* GetPortValue(const char* symbol, void* userData, std::uint32_t* size,
                                    std::uint32_t* type);

private:
    const Lv2World& m_world;
    UridMap& m_urids;
    std::uint32_t m_block;
    LilvInstance* m_instance = nullptr;
    std::vector<float> m_controls;
    std::vector<float> m_blockL, m_blockR;
    std::vector<float> m_left, m_right;
    std::vector<std::uint64_t> m_atomIn, m_atomOut; // 8-byte aligned atom buffers
    std::uint32_t m_atomInPort = 0, m_atomOutPort = 0;
    std::int32_t m_blockOption = 0;
    float m_rateOption = 0.0f;
    std::array<LV2_Options_Option, 4> m_options{};
    LV2_Worker_Schedule m_schedule{};
    PortChangeRequest m_changeRequest{};
    std::vector<std::pair<std::uint32_t, float>> m_requests;
    std::array<LV2_Feature, 7> m_features{};
    std::vector<const LV2_Feature*> m_featureList;
};

} // namespace VellunaHostTest
