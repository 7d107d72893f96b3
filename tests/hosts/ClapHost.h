// A small CLAP host for the plug-in tests: loads the built library with dlopen, creates the
// plug-in through clap_entry's factory, and processes blocks with given input events while
// collecting the plug-in's output events. For the editor it offers the gui host extension
// (resize requests and closings are counted), timers that the test runs, and flush requests.
#pragma once

#include <clap/entry.h>
#include <clap/events.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/note-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>
#include <clap/plugin-factory.h>
#include <clap/plugin.h>
#include <clap/process.h>

#include <atomic>
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
    const clap_plugin_gui_t* Gui() const { return m_gui; }
    bool Valid() const { return m_plugin && m_active; }

    // stop_processing and start_processing again, as a host stopping and restarting its engine.
    void StopProcessing();
    void StartProcessing();
    bool Processing() const { return m_processing; }

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
    // Whether the plug-in asked for a flush since the last call (clears the request).
    bool TakeFlushRequest() { return m_flushRequested.exchange(false); }

    // Calls on_timer for every timer the plug-in registered. Main thread.
    void RunTimers();
    std::size_t TimerCount() const { return m_timers.size(); }
    // Every period a timer was registered with, in milliseconds.
    const std::vector<std::uint32_t>& TimerPeriods() const { return m_timerPeriods; }
    // request_resize calls (width, height), and closed calls (was_destroyed).
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& ResizeRequests() const
    {
        return m_resizeRequests;
    }
    const std::vector<bool>& Closings() const { return m_closings; }

    double Value(clap_id id) const;
    std::string Text(clap_id id, double value) const;

    std::vector<std::uint8_t> SaveState() const;
    bool LoadState(const std::vector<std::uint8_t>& bytes);

    // The last block's left channel, kept or not.
    const std::vector<float>& BlockLeft() const { return m_blockL; }
    const std::vector<float>& Left() const { return m_left; }
    const std::vector<float>& Right() const { return m_right; }
    // Parameter output events received so far, in order: (id, value).
    std::vector<std::pair<clap_id, double>>& Outputs() { return m_outputs; }
    // Every parameter output event received so far, gestures included, in order.
    struct OutputEvent
    {
        std::uint16_t type; // CLAP_EVENT_PARAM_VALUE, _GESTURE_BEGIN or _GESTURE_END
        clap_id id;
        double value; // of a value event
    };
    std::vector<OutputEvent>& Log() { return m_log; }
    // Whether Process keeps the audio it renders (for Left and Right).
    void KeepAudio(bool keep) { m_keepAudio = keep; }
    int Rescans() const { return m_rescans; }

private:
    static const void* GetExtension(const clap_host_t* host, const char* id);

    clap_host_t m_host{};
    clap_host_params_t m_hostParams{};
    clap_host_gui_t m_hostGui{};
    clap_host_timer_support_t m_hostTimer{};
    const clap_plugin_t* m_plugin = nullptr;
    const clap_plugin_params_t* m_params = nullptr;
    const clap_plugin_gui_t* m_gui = nullptr;
    const clap_plugin_timer_support_t* m_timer = nullptr;
    bool m_active = false;
    bool m_processing = false;
    bool m_keepAudio = true;
    std::atomic<bool> m_flushRequested{false};
    std::map<clap_id, std::uint32_t> m_timers;
    std::vector<std::uint32_t> m_timerPeriods;
    clap_id m_nextTimer = 7;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_resizeRequests;
    std::vector<bool> m_closings;
    std::vector<OutputEvent> m_log;
    bool m_callbackRequested = false;
    int m_rescans = 0;
    std::uint32_t m_block;
    std::int64_t m_steadyTime = 0;
    std::vector<std::vector<std::uint8_t>> m_events; // each a whole event
    std::vector<std::pair<clap_id, double>> m_outputs;
    std::vector<float> m_blockL, m_blockR, m_left, m_right;
};

} // namespace VellunaHostTest
