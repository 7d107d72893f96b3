#include "PluginEditor.h"

#include "editor/ALmanager.h"
#include "editor/PluginLuaGui.h"
#include "platform/SharedLibraryBinding.h"
#include "platform/x11/ManagerX11Input.h"
#include "platform/x11/X11Bridge.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace TW
{

// The window's input goes to the manager; a top-level window's close button ends the editor.
class PluginEditorInput : public ManagerX11Input
{
public:
    using ManagerX11Input::ManagerX11Input;
    void CloseRequested() override { closeRequested = true; }
    bool closeRequested = false;
};

// Built in this order and taken down in the reverse one: the bridge outlives the manager, the
// manager outlives the skin host and the input.
struct PluginEditor::Parts
{
    Parts(MusicDeviceBase& instance, unsigned long parent, const char* title,
          const char* displayName)
        : bridge(parent, 1, 1, title, displayName), manager(&instance, &bridge), gui(&instance),
          input(manager)
    {
    }

    X11Bridge bridge;
    ALmanager manager;
    PluginLuaGui gui;
    PluginEditorInput input;
    bool shown = false;
};

PluginEditor::PluginEditor(MusicDeviceBase& instance, unsigned long parent, int scale,
                           const HostCallbacks& host, const char* title, const char* displayName)
    : m_host(host)
{
    Open(instance, parent, scale, title, displayName, true);
}

PluginEditor::PluginEditor(MusicDeviceBase& instance, int scale, const HostCallbacks& host,
                           const char* displayName)
    : m_host(host)
{
    Open(instance, 0, scale, "Velluna", displayName, false);
}

namespace
{

// The shared libraries the editor calls (the plug-ins link them shared: see
// platform/SharedLibraryBinding.h), each by one function the editor's calls go through.
struct SharedLibrary
{
    const char* file;
    const char* symbol;
    const char* name;
};
constexpr SharedLibrary kSharedLibraries[] = {
    {"libfreetype.so.6", "FT_Init_FreeType", "FreeType"},
    {"libpng16.so.16", "png_create_read_struct", "libpng"},
    {"libftgl.so.2", "_ZN13FTTextureFontC1EPKc", "FTGL"}, // FTTextureFont(const char*)
};

// False, with one line on standard error, when a host's own copy of one of them would take the
// editor's calls.
bool SharedLibrariesAreOurs()
{
    for (const SharedLibrary& library : kSharedLibraries)
    {
        const std::string other = ForeignDefinition(library.file, library.symbol);
        if (other.empty())
            continue;
        std::fprintf(stderr,
                     "Velluna editor: the host carries its own %s (in %s), which would take the "
                     "editor's calls; the editor stays closed\n",
                     library.name, other.c_str());
        return false;
    }
    return true;
}

} // namespace

void PluginEditor::Open(MusicDeviceBase& instance, unsigned long parent, int scale,
                        const char* title, const char* displayName, bool shown)
{
    if (!SharedLibrariesAreOurs())
        return;
    auto parts = std::make_unique<Parts>(instance, parent, title, displayName);
    if (!parts->bridge.IsOpen())
        return; // the bridge has said why
    parts->bridge.SetDevicePixelScale(std::clamp(scale, 1, 8));
    parts->gui.CreateUI(&parts->manager);
    const int width = parts->manager.GetViewWidth(), height = parts->manager.GetViewHeight();
    if (width < 1 || height < 1)
    {
        std::fprintf(stderr, "Velluna: the editor's skin gives no window size\n");
        parts->gui.LuaShutdown();
        return;
    }
    parts->manager.SetEditCallbacks(&PluginEditor::BeginEdit, &PluginEditor::EndEdit, this);
    parts->manager.SetUserResizeCallback(&PluginEditor::UserResized, this);
    parts->bridge.SetFrameSize(width, height);
    parts->manager.CreateControl(0, 0);
    parts->bridge.SetInputSink(&parts->input);
    parts->bridge.SetEditorManager(&parts->manager);
    if (shown)
        parts->bridge.Show();
    parts->manager.CreateRenderTask();
    if (!shown)
        parts->manager.PauseRenderTask();
    parts->shown = shown;
    m_parts = std::move(parts);
}

PluginEditor::~PluginEditor()
{
    if (!m_parts)
        return;
    // A drag still held ends its gesture before the editor goes.
    m_parts->manager.HandleWindowFocusRelinquish();
    m_parts->manager.SetEditCallbacks(nullptr, nullptr, nullptr);
    m_parts->manager.SetUserResizeCallback(nullptr, nullptr);
    m_parts->manager.DestroyRenderTask();
    m_parts->bridge.SetEditorManager(nullptr);
    m_parts->bridge.SetInputSink(nullptr);
    m_parts->gui.LuaShutdown();
}

bool PluginEditor::IsOpen() const noexcept
{
    return m_parts != nullptr;
}

unsigned long PluginEditor::GetWindow() const noexcept
{
    return m_parts ? m_parts->bridge.GetWindow() : 0;
}

int PluginEditor::GetConnectionNumber() const noexcept
{
    return m_parts ? m_parts->bridge.GetConnectionNumber() : -1;
}

Manager* PluginEditor::GetManager() const noexcept
{
    return m_parts ? &m_parts->manager : nullptr;
}

void PluginEditor::GetSize(int& width, int& height) const noexcept
{
    width = m_parts ? m_parts->manager.GetViewWidth() : 0;
    height = m_parts ? m_parts->manager.GetViewHeight() : 0;
}

void PluginEditor::GetDesignSize(int& width, int& height) const noexcept
{
    width = m_parts ? m_parts->manager.GetDesignWidth() : 0;
    height = m_parts ? m_parts->manager.GetDesignHeight() : 0;
}

void PluginEditor::AdjustSize(int& width, int& height) const noexcept
{
    int designWidth = 0, designHeight = 0;
    GetDesignSize(designWidth, designHeight);
    Manager::ConstrainViewSize(designWidth, designHeight, width, height);
}

bool PluginEditor::SetSize(int width, int height)
{
    if (!m_parts)
        return false;
    const int wantedWidth = width, wantedHeight = height;
    AdjustSize(width, height);
    if (width != m_parts->manager.GetViewWidth() || height != m_parts->manager.GetViewHeight())
        m_parts->manager.ResizeView(width, height);
    return width == wantedWidth && height == wantedHeight;
}

void PluginEditor::SetScale(int scale)
{
    if (!m_parts)
        return;
    const int s = std::clamp(scale, 1, 8);
    if (s == m_parts->bridge.GetDevicePixelScale())
        return;
    m_parts->bridge.SetDevicePixelScale(s);
    m_parts->manager.ResizeView(m_parts->manager.GetViewWidth(), m_parts->manager.GetViewHeight());
}

int PluginEditor::GetScale() const noexcept
{
    return m_parts ? m_parts->bridge.GetDevicePixelScale() : 1;
}

bool PluginEditor::SetParent(unsigned long parent)
{
    return m_parts && m_parts->bridge.Reparent(parent);
}

void PluginEditor::Show()
{
    if (!m_parts || m_parts->shown)
        return;
    m_parts->bridge.Show();
    m_parts->shown = true;
    m_parts->manager.NudgeGUI();
}

void PluginEditor::Hide()
{
    if (!m_parts || !m_parts->shown)
        return;
    m_parts->manager.HandleWindowFocusRelinquish();
    m_parts->bridge.Hide();
    m_parts->shown = false;
    m_parts->manager.PauseRenderTask();
}

bool PluginEditor::Idle()
{
    if (!m_parts)
        return false;
    const bool alive = m_parts->bridge.Pump();
    return alive && !m_parts->input.closeRequested;
}

void PluginEditor::BeginEdit(int index, void* refcon)
{
    const auto* self = static_cast<PluginEditor*>(refcon);
    if (self->m_host.beginGesture)
        self->m_host.beginGesture(self->m_host.refcon, index);
}

void PluginEditor::EndEdit(int index, void* refcon)
{
    const auto* self = static_cast<PluginEditor*>(refcon);
    if (self->m_host.endGesture)
        self->m_host.endGesture(self->m_host.refcon, index);
}

void PluginEditor::UserResized(int width, int height, void* refcon)
{
    const auto* self = static_cast<PluginEditor*>(refcon);
    if (self->m_host.requestResize)
        self->m_host.requestResize(self->m_host.refcon, width, height);
}

} // namespace TW
