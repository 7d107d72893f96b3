// The instrument's editor as a plug-in format shows it: the skin's panel in an X11 window of its
// own, a child of the window the host gives (or a top-level window for the standalone), drawn by
// the editor's drawing thread through GLX. The format adapter turns its host's UI calls into
// these and the editor's gestures and resize drags into its host's.
//
// Threads: every call from the host's UI thread, the one that made the editor. The audio thread
// never meets the editor: edits reach the instance through its notifying parameter call.
#pragma once

#include <memory>
#include <string>

namespace TW
{

class Manager;
class MusicDeviceBase;

class PluginEditor
{
public:
    // What the editor asks of its host. Any pointer may be null.
    struct HostCallbacks
    {
        // A gesture on parameter id begins or ends (always paired).
        void (*beginGesture)(void* refcon, int id) = nullptr;
        void (*endGesture)(void* refcon, int id) = nullptr;
        // The user resized the panel with its corner to width x height view points; the host
        // should resize its frame to match.
        void (*requestResize)(void* refcon, int width, int height) = nullptr;
        void* refcon = nullptr;
    };

    // Opens the editor for the instance in a child window of `parent` (0: a top-level window
    // titled `title`), on the X display named by displayName (null: $DISPLAY), at the skin's
    // design size times `scale` device pixels (1 to 8). On failure (no X server, no GLX visual,
    // no such parent, no skin) one line goes to standard error and IsOpen is false; the host
    // should then drop the editor.
    PluginEditor(MusicDeviceBase& instance, unsigned long parent, int scale,
                 const HostCallbacks& host, const char* title = "Velluna",
                 const char* displayName = nullptr);
    // Opens the editor as above but hidden, in an unmapped window of its own, for a host that
    // asks the panel's size before it names its window: SetParent, then Show.
    PluginEditor(MusicDeviceBase& instance, int scale, const HostCallbacks& host,
                 const char* displayName = nullptr);
    // Ends any open gesture, stops the drawing thread and destroys the window (whether or not
    // the host destroyed the parent first).
    ~PluginEditor();

    PluginEditor(const PluginEditor&) = delete;
    PluginEditor& operator=(const PluginEditor&) = delete;

    bool IsOpen() const noexcept;
    // The editor's X11 window (0 when not open).
    unsigned long GetWindow() const noexcept;
    // The X connection's file descriptor for a host loop to watch (-1 when not open).
    int GetConnectionNumber() const noexcept;

    // The editor's manager (null when not open), for the adapter to nudge it.
    Manager* GetManager() const noexcept;

    // The panel's size now, and its design size, in view points.
    void GetSize(int& width, int& height) const noexcept;
    void GetDesignSize(int& width, int& height) const noexcept;
    // The nearest size the panel may take: the design's aspect ratio, within the 1024 x 512
    // cap. A side of 0 follows the other.
    void AdjustSize(int& width, int& height) const noexcept;
    // The host resized its frame: the panel follows (adjusted as AdjustSize does); returns
    // false when the size had to change.
    bool SetSize(int width, int height);
    // Device pixels per view point (1 to 8), from the host's scale.
    void SetScale(int scale);
    int GetScale() const noexcept;

    // Moves the window into the host's window `parent`, shown or hidden as it was. False, with
    // one line on standard error, when there is no such window.
    bool SetParent(unsigned long parent);

    void Show();
    // Unmaps the window and pauses the drawing until it is shown again.
    void Hide();

    // The host's idle call: handles every event waiting on the editor's connection (input,
    // exposure, the preferences window). Returns false once the window is gone (the parent was
    // destroyed, or the user closed a top-level window).
    bool Idle();

private:
    struct Parts;
    void Open(MusicDeviceBase& instance, unsigned long parent, int scale, const char* title,
              const char* displayName, bool shown);
    static void BeginEdit(int index, void* refcon);
    static void EndEdit(int index, void* refcon);
    static void UserResized(int width, int height, void* refcon);

    HostCallbacks m_host;
    std::unique_ptr<Parts> m_parts;
};

} // namespace TW
