// The editor in an X11 window with a GLX context: a child of a window a host gives, or a
// top-level window. Each bridge has its own connection to the X server. Requests go out from the
// main thread (window, input) and the drawing thread (GL); Xlib is thread-safe here.
//
// A host may destroy the parent before it closes the editor: every X error on our connection is
// caught by the connection's own handler and counted (the process-wide Xlib handler, which would
// end the host, never sees them), and once the window is gone nothing more is drawn.
#pragma once

#include "editor/ManagerPlatformBridge.h"
#include "platform/x11/X11EventTranslator.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Xlib's and GLX's types by their own names: their headers stay out of ours (Xlib's macros,
// such as Status and None, would clash with other code).
struct _XDisplay;
typedef struct __GLXcontextRec* GLXContext;

namespace TW
{

class Manager;
class X11PreferencesWindow;

class X11Bridge : public ManagerPlatformBridge
{
public:
    // Opens the X display (null: $DISPLAY) and makes a window of width x height view points,
    // a child of `parent`, or a top-level window titled `title` when parent is 0. On failure
    // (no X server, no suitable visual, no such parent) writes one line to standard error and
    // IsOpen is false. Main thread.
    X11Bridge(unsigned long parent, int width, int height, const char* title = "Velluna",
              const char* displayName = nullptr);
    // Main thread, after the drawing thread has ended.
    ~X11Bridge() override;

    bool IsOpen() const { return m_display != nullptr && m_window != 0; }
    // Main thread: shows the window.
    void Show();
    // Main thread: unmaps the window (Show maps it again).
    void Hide();
    // Main thread: moves the window into `parent` (a top-level window becomes its child, for a
    // host that names its window only after the editor is made). False, with one line on
    // standard error, when there is no such window; the window then stays where it was.
    bool Reparent(unsigned long parent);
    unsigned long GetWindow() const { return m_window; }
    _XDisplay* GetDisplay() const { return m_display; }
    // The connection's file descriptor, for a host's event loop to watch; -1 when not open.
    int GetConnectionNumber() const;
    // False once the window has been destroyed from outside.
    bool IsWindowAlive() const { return m_windowAlive.load(); }
    // X errors caught on this connection so far. Any thread.
    unsigned GetErrorCount() const { return m_errorCount.load(); }

    // Main thread: the receiver of the window's input (null: input is dropped).
    void SetInputSink(X11InputSink* sink) { m_sink = sink; }
    // Main thread: reads every event waiting on the connection and hands the input to the sink,
    // and those of the preferences window opened from here. Returns false once the window is
    // gone.
    bool Pump();

    // Main thread: the manager drawn in this window, whose instrument the preferences window
    // opened from it re-opens on a new OSC base port. Null (before that manager goes) closes the
    // preferences window, applying what it holds.
    void SetEditorManager(Manager* manager);
    // The preferences window while it is open, else null. Main thread.
    X11PreferencesWindow* GetPreferencesWindow() const { return m_preferences.get(); }

    void RenderTaskHandleResize() override;
    bool InitGL() override;
    void PostInitGL() override;
    void InitGLOffscreen(int width, int height) override;
    bool MakeCurrent() override;
    void MakeOffscreenCurrent() override;
    void ShutdownGL() override;
    void SwapBuffers() override;
    void SetFocusToWindow() override;
    void SetFrameSize(int width, int height) override;
    int GetFrameHeight() override;
    void CenterWindow(void* window) override;
    // No modal dialog inside a host: the request is written to standard error.
    void RunPropertyTextFieldDialog(int property, std::string prompt, std::string text) override;
    // The preferences window (kPreferencesDialog): a top-level window of its own on this
    // display, not modal. Other dialogs: the request is written to standard error.
    void RunPropertyDialog(int property, int which) override;

    const std::uint8_t* OffscreenPixels() const override;
    int OffscreenWidth() const override { return m_labelWidth; }
    int OffscreenHeight() const override { return m_labelHeight; }

    // Drawing thread: reads the window's back buffer, rows from the top, R, G, B, A.
    bool ReadPixels(std::vector<std::uint8_t>& rgba, int& width, int& height);

private:
    void HandleStructureEvent(const _XEvent& event);

    _XDisplay* m_display = nullptr;
    void* m_visual = nullptr; // XVisualInfo
    unsigned long m_colormap = 0;
    unsigned long m_window = 0;
    bool m_topLevel = false;
    unsigned long m_deleteWindow = 0; // Atom
    std::atomic<bool> m_windowAlive{false};
    std::atomic<unsigned> m_errorCount{0};
    std::atomic<int> m_widthPixels{1};
    std::atomic<int> m_heightPixels{1};
    X11InputSink* m_sink = nullptr;
    Manager* m_editorManager = nullptr;
    std::unique_ptr<X11PreferencesWindow> m_preferences;
    X11EventTranslator m_translator;

    GLXContext m_context = nullptr;
    GLXContext m_labelContext = nullptr;
    unsigned long m_labelPixmap = 0;
    unsigned long m_labelDrawable = 0;       // GLXPixmap
    std::vector<std::uint8_t> m_labelPixels; // BGRA, top row first
    int m_labelWidth = 0;
    int m_labelHeight = 0;
    bool m_labelCurrent = false;
};

} // namespace TW
