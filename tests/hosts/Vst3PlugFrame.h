// The host's frame around a plug-in's view (IPlugFrame) and the Linux run loop (IRunLoop) the
// view finds through it. A resize the view asks for resizes the host's parent window and is
// answered with the view's onSize, as a host does; every request is recorded. The plug-in's
// timers and file-descriptor handlers are called from RunOnce, on the thread that runs the loop,
// as a host's UI thread calls them; calls that arrive on another thread are counted.
//
// Threads: the UI thread that made the frame.
#pragma once

#include "Vst3Abi.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

struct _XDisplay; // Xlib's Display, whose macros stay out of the files including this

namespace VellunaHostTest
{

class Vst3PlugFrame
{
public:
    Vst3PlugFrame();
    Vst3PlugFrame(const Vst3PlugFrame&) = delete;
    Vst3PlugFrame& operator=(const Vst3PlugFrame&) = delete;

    // The frame to pass to IPlugView::setFrame.
    void* Interface() { return &m_frame; }

    // The parent window that a resize request resizes (on the host's connection).
    void SetParent(_XDisplay* host, unsigned long parent);

    // Waits up to `wait` for a registered descriptor to be readable or the next timer to fall
    // due, then calls those handlers.
    void RunOnce(std::chrono::milliseconds wait);
    // Runs the loop, syncing the host's connection first each time round, until done() holds
    // or the limit passes.
    bool RunUntil(_XDisplay* host, const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(3));
    // Runs the loop for that long.
    void RunFor(_XDisplay* host, std::chrono::milliseconds time);

    int Timers() const { return static_cast<int>(m_timers.size()); }
    int EventHandlers() const { return static_cast<int>(m_watches.size()); }
    // Timer and descriptor callbacks made so far.
    long Callbacks() const { return m_callbacks; }
    // References the plug-in holds on the frame and its run loop.
    int References() const { return m_references; }
    // Calls into the frame or the run loop from a thread other than the one that made it.
    int ForeignThreadCalls() const { return m_foreignThreadCalls; }
    const std::vector<Vst3Abi::ViewRect>& ResizeRequests() const { return m_resizeRequests; }

private:
    struct Timer
    {
        void* handler;
        std::chrono::milliseconds interval;
        std::chrono::steady_clock::time_point due;
    };
    struct Watch
    {
        void* handler;
        int fd;
    };
    // The two interfaces, each an object of its own pointing back to the frame.
    struct FrameFace
    {
        const Vst3Abi::IPlugFrameVtbl* vtbl;
        Vst3PlugFrame* owner;
    };
    struct RunLoopFace
    {
        const Vst3Abi::IRunLoopVtbl* vtbl;
        Vst3PlugFrame* owner;
    };

    static Vst3PlugFrame* OfFrame(void* self) { return static_cast<FrameFace*>(self)->owner; }
    static Vst3PlugFrame* OfRunLoop(void* self) { return static_cast<RunLoopFace*>(self)->owner; }
    static const Vst3Abi::IPlugFrameVtbl* FrameTable();
    static const Vst3Abi::IRunLoopVtbl* RunLoopTable();
    Vst3Abi::tresult QueryInterface(const std::uint8_t* iid, void** obj);
    void NoteCall();
    bool TimerRegistered(void* handler) const;
    bool WatchRegistered(void* handler, int fd) const;

    FrameFace m_frame;
    RunLoopFace m_runLoop;
    const std::thread::id m_thread;
    std::vector<Timer> m_timers;
    std::vector<Watch> m_watches;
    std::vector<Vst3Abi::ViewRect> m_resizeRequests;
    _XDisplay* m_host = nullptr;
    unsigned long m_parent = 0;
    long m_callbacks = 0;
    int m_references = 0;
    int m_foreignThreadCalls = 0;
};

} // namespace VellunaHostTest
