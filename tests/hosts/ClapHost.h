// A small CLAP host for the plug-in tests: loads the built library with dlopen, creates the
// plug-in through clap_entry's factory, and processes blocks with given input events while
// collecting the plug-in's output events.
#pragma once

#include <clap/entry.h>
#include <clap/events.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/note-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/host.h>
#include <clap/plugin-factory.h>
#include <clap/plugin.h>
#include <clap/process.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace VellunaHostTest
{

class ClapLibrary
{
public:
    explicit ClapLibrary(const char* path);
    ~ClapLibrary();
    const clap_plugin_entry_t* Entry() const { return m_entry; }
    const clap_plugin_factory_t* Factory() const { return m_factory; }

private:
    void* m_handle = nullptr;
    const clap_plugin_entry_t* m_entry = nullptr;
    const clap_plugin_factory_t* m_factory = nullptr;
};

class ClapInstance
{
public:
    ClapInstance(const ClapLibrary& library, double sampleRate, std::uint32_t block);
    ~ClapInstance();

    const clap_plugin_t* Plugin() const { return m_plugin; }
    const clap_plugin_params_t* Params() const { return m_params; }
    bool Valid() const { return m_plugin && m_active; }

    // Events for the next block (copied).
    void NoteOn(std::uint32_t time, std::int16_t key, double velocity);
    void Midi(std::uint32_t time, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
    void SetParam(std::uint32_t time, clap_id id, double value);

    // Processes one block; appends its audio; collects parameter output events.
    void Process();
    void ProcessFrames(std::uint32_t frames);
    // Runs the main-thread callback when the plug-in asked for one. True when it had asked.
    bool RunMainThreadCallback();
    // The params flush, as a host calls it while not processing.
    void Flush();

    double Value(clap_id id) const;
    std::string Text(clap_id id, double value) const;

    std::vector<std::uint8_t> SaveState() const;
    bool LoadState(const std::vector<std::uint8_t>& bytes);

    const std::vector<float>& Left() const { return m_left; }
    const std::vector<float>& Right() const { return m_right; }
    // Parameter output events received so far, in order: (id, value).
    std::vector<std::pair<clap_id, double>>& Outputs() { return m_outputs; }
    int Rescans() const { return m_rescans; }

private:
    static const void* GetExtension(const clap_host_t* host, const char* id);

    clap_host_t m_host{};
    clap_host_params_t m_hostParams{};
    const clap_plugin_t* m_plugin = nullptr;
    const clap_plugin_params_t* m_params = nullptr;
    bool m_active = false;
    bool m_callbackRequested = false;
    int m_rescans = 0;
    std::uint32_t m_block;
    std::int64_t m_steadyTime = 0;
    std::vector<std::vector<std::uint8_t>> m_events; // each a whole event
    std::vector<std::pair<clap_id, double>> m_outputs;
    std::vector<float> m_blockL, m_blockR, m_left, m_right;
};

} // namespace VellunaHostTest
