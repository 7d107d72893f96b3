#include "VellunaClapGui.h"

#include "VellunaClapPlugin.h"
#include "plugins/driver/PluginInstance.h"
#include "plugins/driver/PluginParameterMap.h"
#include "plugins/editor/PluginEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

namespace TW
{
namespace
{

// How often the host's timer pumps the editor's events, in milliseconds.
constexpr std::uint32_t kTimerPeriodMs = 30;

VellunaClapGui& Of(const clap_plugin_t* plugin) noexcept
{
    return *static_cast<VellunaClapPlugin*>(plugin->plugin_data)->Gui();
}

} // namespace

VellunaClapGui::VellunaClapGui(const clap_host_t* host, PluginInstance& instance,
                               ClapGestureQueue& gestures, const std::atomic<bool>& processing)
    : m_host(host), m_instance(instance), m_gestures(gestures), m_processing(processing)
{
    m_hostGui = static_cast<const clap_host_gui_t*>(host->get_extension(host, CLAP_EXT_GUI));
    m_hostParams =
        static_cast<const clap_host_params_t*>(host->get_extension(host, CLAP_EXT_PARAMS));
    m_hostTimer = static_cast<const clap_host_timer_support_t*>(
        host->get_extension(host, CLAP_EXT_TIMER_SUPPORT));
}

VellunaClapGui::~VellunaClapGui()
{
    // The plug-in is going: no flush to ask for.
    CloseEditor();
}

bool VellunaClapGui::IsApiSupported(const char* api, bool floating) noexcept
{
    return api && !std::strcmp(api, CLAP_WINDOW_API_X11) && !floating;
}

bool VellunaClapGui::Create(const char* api, bool floating) noexcept
{
    if (!IsApiSupported(api, floating) || m_editor)
        return false;
    if (!m_hostTimer || !m_hostTimer->register_timer || !m_hostTimer->unregister_timer)
    {
        std::fprintf(stderr, "Velluna: the host offers no timer to run the editor by\n");
        return false;
    }
    PluginEditor::HostCallbacks callbacks;
    callbacks.beginGesture = &VellunaClapGui::BeginGesture;
    callbacks.endGesture = &VellunaClapGui::EndGesture;
    callbacks.requestResize = &VellunaClapGui::UserResized;
    callbacks.refcon = this;
    try
    {
        auto editor = std::make_unique<PluginEditor>(m_instance.Synth(), m_scale, callbacks);
        if (!editor->IsOpen())
            return false; // the editor has said why
        clap_id timer = CLAP_INVALID_ID;
        if (!m_hostTimer->register_timer(m_host, kTimerPeriodMs, &timer))
        {
            std::fprintf(stderr, "Velluna: the host refused a timer for the editor\n");
            return false;
        }
        m_timer = timer;
        m_editor = std::move(editor);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "Velluna: the editor cannot open (%s)\n", e.what());
        return false;
    }
    m_windowLost = false;
    m_parented = false;
    return true;
}

void VellunaClapGui::Destroy() noexcept
{
    if (!m_editor)
        return;
    CloseEditor();
    // A drag still held has ended: its gesture end waits for the host.
    RequestFlushIfIdle();
}

void VellunaClapGui::CloseEditor() noexcept
{
    if (!m_editor)
        return;
    m_hostTimer->unregister_timer(m_host, m_timer);
    m_timer = CLAP_INVALID_ID;
    m_editor.reset();
}

bool VellunaClapGui::SetScale(double scale) noexcept
{
    // Whole device pixels per point: the nearest is taken.
    if (!std::isfinite(scale) || scale < 0.5 || scale > 8.5)
        return false;
    m_scale = std::clamp(static_cast<int>(std::lround(scale)), 1, 8);
    if (m_editor)
        m_editor->SetScale(m_scale);
    return true;
}

bool VellunaClapGui::GetSize(std::uint32_t* width, std::uint32_t* height) const noexcept
{
    if (!m_editor)
        return false;
    int w = 0, h = 0;
    m_editor->GetSize(w, h);
    *width = static_cast<std::uint32_t>(w * m_scale);
    *height = static_cast<std::uint32_t>(h * m_scale);
    return w > 0 && h > 0;
}

bool VellunaClapGui::GetResizeHints(clap_gui_resize_hints_t* hints) const noexcept
{
    if (!m_editor)
        return false;
    int w = 0, h = 0;
    m_editor->GetDesignSize(w, h);
    hints->can_resize_horizontally = true;
    hints->can_resize_vertically = true;
    hints->preserve_aspect_ratio = true;
    hints->aspect_ratio_width = static_cast<std::uint32_t>(w);
    hints->aspect_ratio_height = static_cast<std::uint32_t>(h);
    return true;
}

bool VellunaClapGui::AdjustSize(std::uint32_t* width, std::uint32_t* height) const noexcept
{
    if (!m_editor)
        return false;
    int w = static_cast<int>(std::min<std::uint32_t>(*width, 1u << 20)) / m_scale;
    int h = static_cast<int>(std::min<std::uint32_t>(*height, 1u << 20)) / m_scale;
    m_editor->AdjustSize(w, h);
    *width = static_cast<std::uint32_t>(w * m_scale);
    *height = static_cast<std::uint32_t>(h * m_scale);
    return true;
}

bool VellunaClapGui::SetSize(std::uint32_t width, std::uint32_t height) noexcept
{
    if (!m_editor)
        return false;
    const std::uint32_t w = std::min<std::uint32_t>(width, 1u << 20);
    const std::uint32_t h = std::min<std::uint32_t>(height, 1u << 20);
    try
    {
        // The panel takes the nearest size it may; true when that is the size asked for.
        const bool exact =
            m_editor->SetSize(static_cast<int>(w) / m_scale, static_cast<int>(h) / m_scale);
        return exact && w == width && h == height && w % static_cast<std::uint32_t>(m_scale) == 0 &&
               h % static_cast<std::uint32_t>(m_scale) == 0;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

bool VellunaClapGui::SetParent(const clap_window_t* window) noexcept
{
    if (!m_editor || !window || !window->api || std::strcmp(window->api, CLAP_WINDOW_API_X11))
        return false;
    m_parented = m_editor->SetParent(window->x11);
    return m_parented;
}

bool VellunaClapGui::Show() noexcept
{
    // Embedded only: without the host's window it would show as a window of its own.
    if (!m_editor || !m_parented)
        return false;
    m_editor->Show();
    return true;
}

bool VellunaClapGui::Hide() noexcept
{
    if (!m_editor)
        return false;
    m_editor->Hide();
    return true;
}

void VellunaClapGui::OnTimer(clap_id timer) noexcept
{
    if (!m_editor || timer != m_timer)
        return;
    if (!m_windowLost && !m_editor->Idle())
    {
        // The host's window went with ours: the host is to destroy the editor.
        m_windowLost = true;
        if (m_hostGui && m_hostGui->closed)
            m_hostGui->closed(m_host, true);
    }
    RequestFlushIfIdle();
}

void VellunaClapGui::Gesture(int id, bool started)
{
    if (id < 0 || PluginParameterMap::IndexOf(static_cast<ParameterID>(id)) < 0)
        return;
    if (started)
        m_gestures.Begin(static_cast<std::uint32_t>(id));
    else
        m_gestures.End(static_cast<std::uint32_t>(id));
    RequestFlushIfIdle();
}

void VellunaClapGui::BeginGesture(void* refcon, int id)
{
    static_cast<VellunaClapGui*>(refcon)->Gesture(id, true);
}

void VellunaClapGui::EndGesture(void* refcon, int id)
{
    static_cast<VellunaClapGui*>(refcon)->Gesture(id, false);
}

void VellunaClapGui::UserResized(void* refcon, int width, int height)
{
    auto* self = static_cast<VellunaClapGui*>(refcon);
    if (self->m_hostGui && self->m_hostGui->request_resize && width > 0 && height > 0)
        self->m_hostGui->request_resize(self->m_host,
                                        static_cast<std::uint32_t>(width * self->m_scale),
                                        static_cast<std::uint32_t>(height * self->m_scale));
}

void VellunaClapGui::RequestFlushIfIdle() noexcept
{
    if (m_processing.load(std::memory_order_acquire) || !m_hostParams ||
        !m_hostParams->request_flush)
        return;
    if (m_gestures.HasGestures() || m_instance.Changes().HasChanges())
        m_hostParams->request_flush(m_host);
}

const clap_plugin_gui_t VellunaClapGui::ms_gui = {
    [](const clap_plugin_t*, const char* api, bool floating)
    { return IsApiSupported(api, floating); },
    [](const clap_plugin_t*, const char** api, bool* floating)
    {
        *api = CLAP_WINDOW_API_X11;
        *floating = false;
        return true;
    },
    [](const clap_plugin_t* p, const char* api, bool floating)
    { return Of(p).Create(api, floating); },
    [](const clap_plugin_t* p) { Of(p).Destroy(); },
    [](const clap_plugin_t* p, double scale) { return Of(p).SetScale(scale); },
    [](const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height)
    { return Of(p).GetSize(width, height); },
    [](const clap_plugin_t*) { return true; },
    [](const clap_plugin_t* p, clap_gui_resize_hints_t* hints)
    { return Of(p).GetResizeHints(hints); },
    [](const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height)
    { return Of(p).AdjustSize(width, height); },
    [](const clap_plugin_t* p, std::uint32_t width, std::uint32_t height)
    { return Of(p).SetSize(width, height); },
    [](const clap_plugin_t* p, const clap_window_t* window) { return Of(p).SetParent(window); },
    // Floating windows are not offered: nothing to be transient for.
    [](const clap_plugin_t*, const clap_window_t*) { return false; },
    [](const clap_plugin_t*, const char*) {}, [](const clap_plugin_t* p) { return Of(p).Show(); },
    [](const clap_plugin_t* p) { return Of(p).Hide(); }};

const clap_plugin_timer_support_t VellunaClapGui::ms_timer = {
    [](const clap_plugin_t* p, clap_id timer) { Of(p).OnTimer(timer); }};

} // namespace TW
