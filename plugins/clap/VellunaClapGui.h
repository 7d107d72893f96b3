// The CLAP gui extension: the editor embedded in the host's X11 window. The host's timer pumps
// the editor's events; the editor's gestures go to the gesture queue, which the plug-in reports
// with its output events, and its corner drags become the host's request_resize.
//
// Sizes through the extension are in device pixels, as CLAP asks of X11: the editor's view
// points times the scale the host set (a whole number, 1 to 8).
//
// Threads: everything here runs on the host's main thread; the audio thread never meets it.
#pragma once

#include "ClapGestureQueue.h"

#include <clap/ext/gui.h>
#include <clap/ext/params.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace TW
{

class PluginEditor;
class PluginInstance;

class VellunaClapGui
{
public:
    // The extensions the plug-in hands out; each finds its VellunaClapGui through the plug-in.
    static const clap_plugin_gui_t* GuiExtension() noexcept { return &ms_gui; }
    static const clap_plugin_timer_support_t* TimerExtension() noexcept { return &ms_timer; }

    // processing: whether the host is processing now (between start and stop_processing);
    // when it is not, changes are pushed out by asking the host for a flush. Main thread.
    VellunaClapGui(const clap_host_t* host, PluginInstance& instance, ClapGestureQueue& gestures,
                   const std::atomic<bool>& processing);
    // Closes the editor if the host has not destroyed it.
    ~VellunaClapGui();

    VellunaClapGui(const VellunaClapGui&) = delete;
    VellunaClapGui& operator=(const VellunaClapGui&) = delete;

    static bool IsApiSupported(const char* api, bool floating) noexcept;
    // Opens the editor hidden, before the host names its window. False, with one line on
    // standard error, when it cannot open (no X server, no GLX visual, no skin, no host timer).
    bool Create(const char* api, bool floating) noexcept;
    // Closes the editor, any gesture still held ending first; whether or not the host has
    // destroyed its window, and whether or not the editor was hidden.
    void Destroy() noexcept;
    bool SetScale(double scale) noexcept;
    bool GetSize(std::uint32_t* width, std::uint32_t* height) const noexcept;
    bool GetResizeHints(clap_gui_resize_hints_t* hints) const noexcept;
    bool AdjustSize(std::uint32_t* width, std::uint32_t* height) const noexcept;
    bool SetSize(std::uint32_t width, std::uint32_t height) noexcept;
    bool SetParent(const clap_window_t* window) noexcept;
    bool Show() noexcept;
    bool Hide() noexcept;
    void OnTimer(clap_id timer) noexcept;

    bool IsOpen() const noexcept { return m_editor != nullptr; }

private:
    // A gesture on parameter id begins (started) or ends: queued for the host.
    void Gesture(int id, bool started);
    static void BeginGesture(void* refcon, int id);
    static void EndGesture(void* refcon, int id);
    static void UserResized(void* refcon, int width, int height);
    // Unregisters the timer and closes the editor.
    void CloseEditor() noexcept;
    // Asks the host for a flush when it is not processing and something waits for it.
    void RequestFlushIfIdle() noexcept;

    static const clap_plugin_gui_t ms_gui;
    static const clap_plugin_timer_support_t ms_timer;

    const clap_host_t* m_host;
    PluginInstance& m_instance;
    ClapGestureQueue& m_gestures;
    const std::atomic<bool>& m_processing;
    const clap_host_gui_t* m_hostGui = nullptr;
    const clap_host_params_t* m_hostParams = nullptr;
    const clap_host_timer_support_t* m_hostTimer = nullptr;
    std::unique_ptr<PluginEditor> m_editor;
    clap_id m_timer = CLAP_INVALID_ID;
    int m_scale = 1;           // device pixels per view point
    bool m_parented = false;   // the editor's window is in the host's
    bool m_windowLost = false; // the host destroyed its window under the editor
};

} // namespace TW
