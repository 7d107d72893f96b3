#include "Vst3PlugFrame.h"

#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <cstring>

namespace VellunaHostTest
{

using namespace Vst3Abi;
using Clock = std::chrono::steady_clock;

namespace
{

bool Same(const std::uint8_t* a, const Uid& b)
{
    return a && std::memcmp(a, b.bytes, 16) == 0;
}

void AddRef(void* object)
{
    V<FUnknownVtbl>(object).addRef(object);
}

void Release(void* object)
{
    V<FUnknownVtbl>(object).release(object);
}

} // namespace

Vst3PlugFrame::Vst3PlugFrame()
    : m_frame{FrameTable(), this}, m_runLoop{RunLoopTable(), this},
      m_thread(std::this_thread::get_id())
{
}

void Vst3PlugFrame::SetParent(_XDisplay* host, unsigned long parent)
{
    m_host = host;
    m_parent = parent;
}

void Vst3PlugFrame::NoteCall()
{
    if (std::this_thread::get_id() != m_thread)
        ++m_foreignThreadCalls;
}

tresult Vst3PlugFrame::QueryInterface(const std::uint8_t* iid, void** obj)
{
    NoteCall();
    if (Same(iid, kFUnknown) || Same(iid, kIPlugFrame))
        *obj = &m_frame;
    else if (Same(iid, kIRunLoop))
        *obj = &m_runLoop;
    else
    {
        *obj = nullptr;
        return kNoInterface;
    }
    ++m_references;
    return kResultOk;
}

const IPlugFrameVtbl* Vst3PlugFrame::FrameTable()
{
    static const IPlugFrameVtbl table = {
        [](void* self, const std::uint8_t* iid, void** obj)
        { return OfFrame(self)->QueryInterface(iid, obj); },
        [](void* self) -> std::uint32_t
        { return static_cast<std::uint32_t>(++OfFrame(self)->m_references); },
        [](void* self) -> std::uint32_t
        { return static_cast<std::uint32_t>(--OfFrame(self)->m_references); },
        [](void* self, void* view, ViewRect* size) -> tresult
        {
            Vst3PlugFrame* frame = OfFrame(self);
            frame->NoteCall();
            if (!view || !size || size->right <= size->left || size->bottom <= size->top)
                return kInvalidArgument;
            frame->m_resizeRequests.push_back(*size);
            // The host's window takes the size, then tells the view it has it.
            if (frame->m_host && frame->m_parent)
            {
                XResizeWindow(frame->m_host, frame->m_parent,
                              static_cast<unsigned>(size->right - size->left),
                              static_cast<unsigned>(size->bottom - size->top));
                XSync(frame->m_host, False);
            }
            ViewRect given = *size;
            return V<IPlugViewVtbl>(view).onSize(view, &given);
        }};
    return &table;
}

const IRunLoopVtbl* Vst3PlugFrame::RunLoopTable()
{
    static const IRunLoopVtbl table = {
        [](void* self, const std::uint8_t* iid, void** obj)
        { return OfRunLoop(self)->QueryInterface(iid, obj); },
        [](void* self) -> std::uint32_t
        { return static_cast<std::uint32_t>(++OfRunLoop(self)->m_references); },
        [](void* self) -> std::uint32_t
        { return static_cast<std::uint32_t>(--OfRunLoop(self)->m_references); },
        [](void* self, void* handler, int fd) -> tresult
        {
            Vst3PlugFrame* frame = OfRunLoop(self);
            frame->NoteCall();
            if (!handler || fd < 0 || frame->WatchRegistered(handler, fd))
                return kInvalidArgument;
            AddRef(handler);
            frame->m_watches.push_back({handler, fd});
            return kResultOk;
        },
        [](void* self, void* handler) -> tresult
        {
            Vst3PlugFrame* frame = OfRunLoop(self);
            frame->NoteCall();
            // Every descriptor the handler watches.
            const auto first =
                std::stable_partition(frame->m_watches.begin(), frame->m_watches.end(),
                                      [&](const Watch& w) { return w.handler != handler; });
            if (first == frame->m_watches.end())
                return kInvalidArgument;
            const auto count = frame->m_watches.end() - first;
            frame->m_watches.erase(first, frame->m_watches.end());
            for (auto i = count; i > 0; --i)
                Release(handler);
            return kResultOk;
        },
        [](void* self, void* handler, std::uint64_t milliseconds) -> tresult
        {
            Vst3PlugFrame* frame = OfRunLoop(self);
            frame->NoteCall();
            if (!handler || milliseconds == 0 || frame->TimerRegistered(handler))
                return kInvalidArgument;
            AddRef(handler);
            const std::chrono::milliseconds interval(milliseconds);
            frame->m_timers.push_back({handler, interval, Clock::now() + interval});
            return kResultOk;
        },
        [](void* self, void* handler) -> tresult
        {
            Vst3PlugFrame* frame = OfRunLoop(self);
            frame->NoteCall();
            const auto found = std::find_if(frame->m_timers.begin(), frame->m_timers.end(),
                                            [&](const Timer& t) { return t.handler == handler; });
            if (found == frame->m_timers.end())
                return kInvalidArgument;
            frame->m_timers.erase(found);
            Release(handler);
            return kResultOk;
        }};
    return &table;
}

bool Vst3PlugFrame::TimerRegistered(void* handler) const
{
    return std::any_of(m_timers.begin(), m_timers.end(),
                       [&](const Timer& t) { return t.handler == handler; });
}

bool Vst3PlugFrame::WatchRegistered(void* handler, int fd) const
{
    return std::any_of(m_watches.begin(), m_watches.end(),
                       [&](const Watch& w) { return w.handler == handler && w.fd == fd; });
}

void Vst3PlugFrame::RunOnce(std::chrono::milliseconds wait)
{
    auto now = Clock::now();
    auto until = now + wait;
    for (const Timer& t : m_timers)
        until = std::min(until, t.due);
    const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::max(until - now, Clock::duration::zero()));

    // The handlers may register and unregister others while they run: each is called only
    // while it is still registered.
    const std::vector<Watch> watches = m_watches;
    std::vector<pollfd> fds;
    for (const Watch& w : watches)
        fds.push_back({w.fd, POLLIN, 0});
    if (fds.empty())
        std::this_thread::sleep_for(timeout);
    else if (::poll(fds.data(), fds.size(), static_cast<int>(timeout.count())) > 0)
        for (std::size_t i = 0; i < fds.size(); ++i)
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) &&
                WatchRegistered(watches[i].handler, watches[i].fd))
            {
                ++m_callbacks;
                V<IEventHandlerVtbl>(watches[i].handler).onFDIsSet(watches[i].handler, fds[i].fd);
            }

    now = Clock::now();
    const std::vector<Timer> timers = m_timers;
    for (const Timer& t : timers)
        if (t.due <= now && TimerRegistered(t.handler))
        {
            for (Timer& registered : m_timers)
                if (registered.handler == t.handler)
                    registered.due = now + registered.interval;
            ++m_callbacks;
            V<ITimerHandlerVtbl>(t.handler).onTimer(t.handler);
        }
}

bool Vst3PlugFrame::RunUntil(_XDisplay* host, const std::function<bool()>& done,
                             std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end)
    {
        if (host)
            XSync(host, False);
        RunOnce(std::chrono::milliseconds(5));
        if (done())
            return true;
    }
    return false;
}

void Vst3PlugFrame::RunFor(_XDisplay* host, std::chrono::milliseconds time)
{
    RunUntil(
        host, [] { return false; }, time);
}

} // namespace VellunaHostTest
