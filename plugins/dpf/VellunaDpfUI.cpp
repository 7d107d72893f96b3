// The editor as the plug-in framework shows it (LV2, VST3, the JACK standalone): an external UI
// that opens the skin's panel (TW::PluginEditor) in the host's parent window, or in a top-level
// window of its own for the standalone. The panel reads and sets the instance directly, so
// changes made elsewhere (host automation, presets, scripts, OSC) show at its next frame; this
// class only tells the host about the user's gestures, edits and resizes.
//
// The host hears each edit once: the editor's own edits are kept out of the instance's change
// list (which the audio thread reports as parameter change requests) and reported from here as
// the UI's parameter changes, between the gesture's begin and end.
//
// Threads: every call on the host's UI thread (the standalone's main loop).
#include "DistrhoUI.hpp"

#include "VellunaDpfAccess.h"

#include "plugins/driver/PluginInstance.h"
#include "plugins/driver/PluginParameterListener.h"
#include "plugins/editor/PluginEditor.h"

#ifdef DISTRHO_PLUGIN_TARGET_LV2
#include <lv2/ui/ui.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>

START_NAMESPACE_DISTRHO

namespace
{

// Collects the changes that one sender (the editor's manager) makes, for the UI thread to report.
class EditorEdits : public TW::PluginParameterListener
{
public:
    explicit EditorEdits(const void* sender) : m_sender(sender) {}
    // Any thread; only the editor's changes, made on the UI thread, are kept.
    void ParameterChanged(void* sendingObject, const TW::ParameterAddress& address,
                          float value) override
    {
        if (sendingObject == m_sender)
            PluginParameterListener::ParameterChanged(sendingObject, address, value);
    }

private:
    const void* m_sender;
};

#ifdef DISTRHO_PLUGIN_TARGET_JACK
// Whether the standalone runs without its window: no display named, or "--no-gui" among its
// arguments. The framework's main() keeps argv to itself, so the arguments are read from
// /proc/self/cmdline.
bool StandaloneIsHeadless()
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return true;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t start = 0; start < all.size();)
    {
        const std::size_t end = std::min(all.find('\0', start), all.size());
        if (all.compare(start, end - start, "--no-gui") == 0)
            return true;
        start = end + 1;
    }
    return false;
}
#endif

} // namespace

class VellunaDpfUI : public UI
{
public:
    VellunaDpfUI() : UI(DISTRHO_UI_DEFAULT_WIDTH, DISTRHO_UI_DEFAULT_HEIGHT)
    {
#ifdef DISTRHO_PLUGIN_TARGET_JACK
        if (StandaloneIsHeadless())
            return;
#endif
        m_instance = TW::DpfInstanceOf(getPluginInstancePointer());
        if (!m_instance)
        {
            std::fprintf(stderr, "Velluna: the editor cannot reach the instance\n");
            return;
        }
#ifdef DISTRHO_PLUGIN_TARGET_LV2
        m_hostResize = static_cast<const LV2UI_Resize*>(TW::TakeLv2HostResize());
#endif
        m_scale = ScaleOf(getScaleFactor());
        TW::PluginEditor::HostCallbacks host;
        host.beginGesture = &VellunaDpfUI::BeginGesture;
        host.endGesture = &VellunaDpfUI::EndGesture;
        host.requestResize = &VellunaDpfUI::RequestResize;
        host.refcon = this;
        m_editor = std::make_unique<TW::PluginEditor>(m_instance->Synth(), getParentWindowHandle(),
                                                      m_scale, host, DISTRHO_PLUGIN_NAME);
        if (!m_editor->IsOpen())
        {
            m_editor.reset(); // it has said why
            return;
        }
        m_edits = std::make_unique<EditorEdits>(m_editor->GetManager());
        m_instance->Synth().AddParameterListener(m_edits.get());
        m_instance->Changes().IgnoreSender(m_editor->GetManager());
        FitWindowToPanel();
        SetHostConstraints();
    }

    ~VellunaDpfUI() override
    {
        Close();
    }

    uintptr_t getNativeWindowHandle() const noexcept override
    {
        return m_editor ? m_editor->GetWindow() : 0;
    }

protected:
    // The panel reads the instance itself: the framework's copies of values are not needed.
    void parameterChanged(uint32_t, float) override {}
    void programLoaded(uint32_t) override {}
    void stateChanged(const char*, const char*) override {}

    void uiIdle() override
    {
        if (!m_editor)
            return;
        if (!m_editor->Idle())
        {
            // The host destroyed its window, or the user closed the standalone's.
            Close();
            close();
            return;
        }
        if (m_idlesBeforeAskingHost > 0 && --m_idlesBeforeAskingHost == 0)
            FitWindowToPanel();
        ReportEdits(); // edits made outside a gesture (typed values, skin scripts)
    }

    // The window's size in pixels changed: by the host (VST3), by our own setSize after a
    // corner drag or a scale change. A host size the panel cannot take (not the design's
    // shape, or beyond the cap) leaves the panel at the nearest size it can, and the host is
    // then asked for that size, so that its frame fits the panel. The framework drops what the
    // UI asks for in the idle call that follows a host resize (VST3): the request waits for
    // the idle call after that.
    void sizeChanged(uint width, uint height) override
    {
        if (m_editor && !m_editor->SetSize(static_cast<int>(width) / m_scale,
                                           static_cast<int>(height) / m_scale))
            m_idlesBeforeAskingHost = 2;
        UI::sizeChanged(width, height);
    }

    void uiScaleFactorChanged(double scaleFactor) override
    {
        if (!m_editor)
            return;
        m_scale = ScaleOf(scaleFactor);
        m_editor->SetScale(m_scale);
        FitWindowToPanel();
        SetHostConstraints();
    }

    void visibilityChanged(bool visible) override
    {
        if (!m_editor)
            return;
        if (visible)
            m_editor->Show();
        else
            m_editor->Hide();
    }

private:
    static int ScaleOf(double scaleFactor)
    {
        return std::clamp(static_cast<int>(std::lround(scaleFactor)), 1, 8);
    }

    // The window (and so the host's frame) takes the panel's size, in pixels.
    void FitWindowToPanel()
    {
        int width = 0, height = 0;
        m_editor->GetSize(width, height);
        setSize(static_cast<uint>(width * m_scale), static_cast<uint>(height * m_scale));
    }

    // What the framework tells a host that checks a size first (VST3's checkSizeConstraint):
    // the design's shape, as the smallest size of exactly that shape whose shorter side is at
    // least the panel's smallest (the framework takes the shape from the minimum), in pixels.
    void SetHostConstraints()
    {
        int designWidth = 0, designHeight = 0, smallestWidth = 1, smallestHeight = 1;
        m_editor->GetDesignSize(designWidth, designHeight);
        m_editor->AdjustSize(smallestWidth, smallestHeight);
        const int common = std::gcd(designWidth, designHeight);
        int width = designWidth / common, height = designHeight / common;
        const int shorter = std::min(smallestWidth, smallestHeight);
        const int times =
            std::max(1, (shorter + std::min(width, height) - 1) / std::min(width, height));
        if (static_cast<long>(width) * times <= designWidth)
        {
            width *= times;
            height *= times;
        }
        else
        {
            width = designWidth;
            height = designHeight;
        }
        setGeometryConstraints(static_cast<uint>(width * m_scale),
                               static_cast<uint>(height * m_scale), true);
    }

    // Ends any gesture, reports the last edits and stops keeping the editor's changes apart.
    void Close()
    {
        if (!m_editor)
            return;
        m_editor.reset();
        ReportEdits();
        m_instance->Synth().RemoveParameterListener(m_edits.get());
        m_instance->Changes().IgnoreSender(nullptr);
        m_edits.reset();
    }

    void ReportEdits()
    {
        if (!m_edits)
            return;
        m_edits->TakeChanges(
            [this](uint32_t id)
            {
                const int index = TW::DpfIndexOf(id);
                if (index >= 0)
                    setParameterValue(static_cast<uint32_t>(index),
                                      m_instance->GetParameter(static_cast<TW::ParameterID>(id)));
            });
    }

    // The edits made so far are reported first, so that a gesture holds exactly its own.
    void Gesture(int id, bool started)
    {
        ReportEdits();
        const int index = TW::DpfIndexOf(static_cast<uint32_t>(id));
        if (index >= 0)
            editParameter(static_cast<uint32_t>(index), started);
    }
    static void BeginGesture(void* refcon, int id)
    {
        static_cast<VellunaDpfUI*>(refcon)->Gesture(id, true);
    }
    static void EndGesture(void* refcon, int id)
    {
        static_cast<VellunaDpfUI*>(refcon)->Gesture(id, false);
    }

    // The user dragged the panel's corner to width x height view points.
    static void RequestResize(void* refcon, int width, int height)
    {
        auto* self = static_cast<VellunaDpfUI*>(refcon);
        self->setSize(static_cast<uint>(width * self->m_scale),
                      static_cast<uint>(height * self->m_scale));
#ifdef DISTRHO_PLUGIN_TARGET_LV2
        // The framework passes LV2 UIs' size changes to no one: ask the host's frame here.
        if (self->m_hostResize && self->m_hostResize->ui_resize)
            self->m_hostResize->ui_resize(self->m_hostResize->handle, width * self->m_scale,
                                          height * self->m_scale);
#endif
    }

    TW::PluginInstance* m_instance = nullptr;
#ifdef DISTRHO_PLUGIN_TARGET_LV2
    const LV2UI_Resize* m_hostResize = nullptr;
#endif
    int m_scale = 1;
    int m_idlesBeforeAskingHost = 0;
    std::unique_ptr<TW::PluginEditor> m_editor;
    std::unique_ptr<EditorEdits> m_edits;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VellunaDpfUI)
};

UI* createUI()
{
    return new VellunaDpfUI();
}

END_NAMESPACE_DISTRHO
