// The MIDI scripting host of one instance. On the host's MIDI thread it only queues; on the
// render thread it dispatches each queued message to the user's script handlers and then (in the
// instrument's subclass) to the instrument's own handling. It owns the instance's Lua 5.1
// interpreter, into which it loads the bundled "midi.lua" and the user's script files, and offers
// the scripts their global functions (parameters, handlers, timers, indicators, other instances,
// OSC).
//
// Locks. The script lock (recursive) is held around every use of the interpreter from any
// thread: the render thread (handlers), the main-loop thread (timers), the OSC receive thread
// ("/exec", "/call", OSC paths) and the host thread of Initialize (loading). A caller that pushes
// a function and its arguments takes the lock before the first push (GetScriptLock) and keeps it
// until the stack is restored. The timer lock guards only the timer table; it is taken inside the
// script lock, never the other way round, and never held while script code runs.
//
// Runaway scripts and memory. Every call into script code goes through protectedPcall (the
// scripts' top-level code at load time too), under the instance's LuaCallGuard: an instruction and
// time budget per call, the interpreter's memory in an arena of its own (so script work on the
// render thread never reaches the system allocator), at most kMemoryLimit bytes for script code
// and kHostReserve more for the host's pushes between calls (LuaCallGuard.h says how).
#pragma once

#include "LuaCallGuard.h"
#include "ParameterNameLookup.h"

#include "core/MessageQueue.h"

#include "platform/MainLoop.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct lua_State;
struct lua_Debug;

namespace TW
{

class MusicDeviceBase;
class OSCHelper;

class LuaMIDIHelper
{
public:
    // Name of the metatable of timer objects; also the registry key of their metatable.
    static const char kMetatableTagTimer[];
    // Registry keys: the addresses of these strings (not their text) are light-userdata keys.
    static const char kRefcon[];
    static const char kParamLookup[];
    // The budgets of one script call (LuaCallGuard.h).
    static constexpr long kInstructionBudget = LuaCallGuard::kInstructionBudget;
    static constexpr double kTimeBudgetSeconds = LuaCallGuard::kTimeBudgetSeconds;
    static constexpr int kHookInterval = LuaCallGuard::kHookInterval;
    static constexpr const char* kRunawayMessage = LuaCallGuard::kRunawayMessage;
    // Bytes that script code may hold in the interpreter (64 MiB), and the reserve beyond it for
    // the host's pushes between calls.
    static constexpr std::size_t kMemoryLimit = std::size_t{64} << 20;
    static constexpr std::size_t kHostReserve = std::size_t{1} << 20;

    // Main thread.
    LuaMIDIHelper(MusicDeviceBase* instance, MessageQueue& queue, OSCHelper* osc);
    virtual ~LuaMIDIHelper();

    LuaMIDIHelper(const LuaMIDIHelper&) = delete;
    LuaMIDIHelper& operator=(const LuaMIDIHelper&) = delete;

    // Render thread (and the OSC receive thread for notes): the script handlers of each message
    // type, under the script lock. Subclasses add the instrument's own handling after these.
    virtual void HandleNoteOn(int channel, unsigned char note, unsigned char velocity);
    virtual void HandleNoteOff(int channel, unsigned char note, unsigned char velocity);
    // NRPN assembly, then the NRPN and controller handlers.
    virtual void HandleControlChange(int channel, unsigned char controller, unsigned char value);
    virtual void HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb);
    // Render thread: dispatches one queued item by its status; system-exclusive items are
    // ignored.
    virtual void HandleMessageQueueItem(const MessageQueueItem* item);
    // Render thread: the instrument's own handling of a queued item without any script handler
    // and without the script lock, for events that waited too long for a script running
    // elsewhere. The base has no handling of its own.
    virtual void HandleMessageQueueItemWithoutScripts(const MessageQueueItem*) {}
    virtual bool isParameterUsed(int id);
    // GUI switch bytes 0..7 of the instance. Any thread that runs scripts.
    virtual void setGUIBoolValue(int id, int value) = 0;
    virtual int getGUIBoolValue(int id) const = 0;
    // Called by LuaInit after the built-in functions are registered, with GetLuaState() set and
    // the script lock held: a subclass registers further functions here.
    virtual void RegisterFunctions() {}

    void HandleProgramChange(int channel, unsigned char program);
    void HandleChannelPressure(int channel, unsigned char pressure);
    void HandlePolyPressure(int channel, unsigned char note, unsigned char pressure);

    // Main thread, from the instance's Initialize: reads the parameter count and table.
    void Initialize();

    // Creates the interpreter and runs the scripts on first use; afterwards returns the same
    // state. Main thread (the OSC server's Initialize), or any thread that holds the script lock.
    lua_State* LuaInit();
    // Closes the interpreter if there is one; its handlers and timers go with it. Main thread.
    void LuaShutdown();

    // Calls the function below nargs arguments on top of the stack, without a message handler,
    // under the script lock and the instruction budget. Returns the interpreter's status; on
    // failure the error value is left on the stack, on success nresults results. Any thread.
    int protectedPcall(int nargs, int nresults = 0);

    // Prints "@@@ " and the formatted text to standard output. Reports; raises nothing.
    static void LuaError(lua_State* L, const char* format, ...)
        __attribute__((format(printf, 2, 3)));
    // The helper that owns the interpreter of L (any of its threads).
    static LuaMIDIHelper* getRefCon(lua_State* L);
    // The parameter id of an exact display name; raises "parameter not found: '%s'" otherwise.
    static int getParam(lua_State* L, const char* name);

    // Bytes the interpreter holds now (bookkeeping included). Read under the script lock.
    std::size_t MemoryInUse() const noexcept { return m_guard.MemoryInUse(); }

    // The lock to hold around every use of the interpreter. Any thread.
    std::recursive_mutex& GetScriptLock() noexcept { return m_scriptLock; }
    // The render thread's way in: takes the script lock only when no other thread holds it, and
    // never waits. True when taken; UnlockScripts releases it. Render thread.
    bool TryLockScripts() noexcept
    {
        if (!m_scriptLock.try_lock())
            return false;
        m_renderThreadHolds = true;
        return true;
    }
    void UnlockScripts() noexcept
    {
        m_renderThreadHolds = false;
        m_scriptLock.unlock();
    }
    // True while the render thread runs script code. Read with the script lock held.
    bool IsRenderThreadRunningScripts() const noexcept { return m_renderThreadHolds; }
    // The interpreter, null before LuaInit. Read it while holding the script lock.
    lua_State* GetLuaState() const noexcept { return m_L; }

    // Removes every timer of this helper from the main loop and waits for a timer call in
    // progress to end. Main thread, before anything that timer scripts use is destroyed; the
    // caller must not hold the script lock.
    void CancelAllTimers();

    // The host's MIDI thread: queue for the render thread. False when the queue is full.
    bool HandleMidiEvent(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                         std::uint8_t data2, std::uint32_t frame) noexcept;
    bool HandleSysEx(const std::uint8_t* bytes, std::uint32_t length);
    // The OSC receive task: a short message for the render thread, through the queue of remote
    // notes when the instance has one (handled at the start of the next render call), else
    // through the host's queue. False when the queue is full.
    bool HandleRemoteMidiEvent(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                               std::uint8_t data2) noexcept;
    // Main thread, at construction: the queue of the one remote writer.
    void SetRemoteQueue(MessageQueue* queue) noexcept { m_remoteQueue = queue; }

    void SetOSCHelper(OSCHelper* osc) noexcept { m_osc = osc; }
    OSCHelper* GetOSCHelper() const noexcept { return m_osc; }
    MusicDeviceBase* GetInstance() const noexcept { return m_instance; }
    int GetParameterCount() const noexcept { return m_paramCount; }

protected:
    using HandlerList = std::vector<int>;
    using HandlerTable = std::map<int, HandlerList>;

    // Calls every function of list with (a, b[, c]) by position, re-reading the length after
    // each call; errors are discarded. The script lock is held.
    void CallHandlers(const HandlerList& list, int nargs, int a, int b, int c);
    // The same for the table entry of key, if any.
    void CallHandlers(const HandlerTable& table, int key, int nargs, int a, int b, int c);

    MusicDeviceBase* m_instance;
    MessageQueue& m_queue;
    MessageQueue* m_remoteQueue = nullptr;
    OSCHelper* m_osc;
    int m_paramCount = 0;
    const void* m_paramInfos = nullptr;
    lua_State* m_L = nullptr;
    std::recursive_mutex m_scriptLock;
    bool m_renderThreadHolds = false; // written and read under the script lock

    // Registry references of the handlers, in registration order.
    HandlerList m_allNoteOn, m_allNoteOff, m_allCC, m_allNRPN, m_allProgramChange,
        m_allPolyPressure;
    HandlerTable m_noteOn, m_noteOff, m_cc, m_nrpn, m_programChange, m_polyPressure;
    HandlerList m_pitchWheel, m_channelPressure;

    // The NRPN being assembled; one for all channels.
    int m_nrpnLSB = 0;
    int m_nrpnMSB = 0;
    int m_dataLSB = 0;
    int m_dataMSB = 0;

    // Live script timers: main-loop handle -> registry reference of the function.
    std::map<TimerHandle, int> m_timers;
    std::mutex m_timerLock;

private:
    friend class LuaMIDIScriptAPI;

    void RunScripts();
    // Installs a main-loop timer for the function at the top of the stack; returns its handle.
    TimerHandle RequestTimer(lua_State* L, double seconds, bool periodic);
    // Removes a script timer and releases its function; false when it is not live (a one-shot
    // timer that has fired, or a second cancel).
    bool CancelTimer(lua_State* L, TimerHandle timer);
    void TimerProc(TimerHandle timer, bool periodic);
    static void OneShotTimerProc(TimerHandle timer, void* userData);
    static void PeriodicTimerProc(TimerHandle timer, void* userData);
    // The scripts' print: as the standard one, but on the render thread the line goes through
    // the log ring, so a blocked standard output cannot stall audio.
    static int Print(lua_State* L);

    // The interpreter's memory and the budgets of every call, reserved with the helper.
    LuaCallGuard m_guard{this, "MIDI scripts", kMemoryLimit, kHostReserve};
    // Parameter name -> id, built at LuaInit (also published in the registry, but never read
    // back from there).
    ParameterNameLookup m_paramLookup;
};

} // namespace TW
