// The OSC server of one instance. It listens on the OSC base port plus the instance's
// "OSC Port Offset" while that offset is not 0.
#pragma once

#include <atomic>

namespace TW
{

class MusicDeviceBase;
class LuaMIDIHelper;

class OSCHelper
{
public:
    // Main thread.
    OSCHelper(MusicDeviceBase* instance, LuaMIDIHelper* lua);
    virtual ~OSCHelper();

    // Main thread, from the instance's Initialize: loads the MIDI scripts into the interpreter.
    void Initialize();
    // Main thread: start and stop the network tasks.
    void StartTask();
    void StopTask();

    // Main thread (parameter changes): listen on this UDP port, or not at all.
    void SetPort(int port);
    void Disable();
    // The port asked for, 0 while disabled. Any thread.
    int GetPort() const noexcept { return m_port.load(std::memory_order_relaxed); }

    // Any thread that sets parameters: reports a change to subscribers.
    void NotifySetParam(int id, float value) noexcept;
    // Changes reported so far. Any thread.
    unsigned long GetNotifyCount() const noexcept
    {
        return m_notifyCount.load(std::memory_order_relaxed);
    }

private:
    MusicDeviceBase* m_instance;
    LuaMIDIHelper* m_lua;
    std::atomic<int> m_port{0};
    std::atomic<unsigned long> m_notifyCount{0};
    bool m_taskRunning = false;
};

} // namespace TW
