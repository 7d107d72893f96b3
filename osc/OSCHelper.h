// The OSC server of one instance. It listens on UDP port "OSC Base Port" + "OSC Port Offset"
// while that offset is not 0, runs the command set (parameter access, subscriptions, notes,
// script calls), hands the "/tarn/" family to the instance tracker so that one port reaches
// every instance, dispatches the paths that the MIDI script has registered, and pushes changes
// of subscribed parameters to their subscribers.
//
// Threads. The receive task handles every packet (replies, parameter changes, script calls,
// notes); the notify task pushes changes. Notes are handed to the render thread through the
// instance's queue of remote notes (this task is its one writer), so the voices are only ever
// touched there. Any thread that sets a parameter writes the lock-free change queue. The
// subscription table is guarded by one lock, the path tables by another; neither is held while a
// packet is sent or script code runs.
#pragma once

#include "OSCTaskSignals.h"
#include "ServiceAdvertiser.h"
#include "SetParamQueue.h"

#include <oscpack/ip/IpEndpointName.h>
#include <oscpack/osc/OscPacketListener.h>
#include <oscpack/osc/OscReceivedElements.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct lua_State;

namespace Tarn
{
struct ParamInfo;
}

namespace TW
{

class MusicDeviceBase;
class LuaMIDIHelper;
class OSCReceiveSocket;

// One parameter of a registered parameter path: a message argument a sets it to
// scale * a + offset.
struct RegisteredPathParam
{
    std::int32_t id = 0;
    float offset = 0.0f;
    float scale = 1.0f;
};

class OSCHelper : private osc::OscPacketListener
{
public:
    // Subscription flags are kept for at most this many parameter ids.
    static constexpr int kMaxParameterCount = 1024;
    // "/registerUpdate" subscriptions one instance keeps, all ids together; more are refused.
    static constexpr std::size_t kMaxSubscriptions = 256;
    // Replies to requests ("/get", "/getAll", "/getAllRegistered", "/ping", "/call"...) sent in
    // any one second; more are dropped.
    static constexpr int kMaxRepliesPerSecond = 1000;
    // How long DestroyTask waits for each task to end.
    static constexpr std::chrono::milliseconds kShutdownTimeout{1000};

    // Main thread.
    OSCHelper(MusicDeviceBase* instance, LuaMIDIHelper* lua);
    ~OSCHelper() override;

    OSCHelper(const OSCHelper&) = delete;
    OSCHelper& operator=(const OSCHelper&) = delete;

    // Main thread, from the instance's Initialize: reads the product name, the parameter count
    // and table, then loads the MIDI scripts (the scripting host's LuaInit).
    void Initialize();
    // Main thread: start the receive and notify tasks (the receive task starts listening at
    // once when a port is set), and end them (waiting up to 1000 ms for each).
    void CreateTask();
    void DestroyTask();
    void StartTask() { CreateTask(); }
    void StopTask() { DestroyTask(); }

    // Any thread, the render thread included (a script may set "OSC Port Offset" from a
    // handler): listen on this UDP port, reopening the socket; or stop listening until the next
    // SetPort. Takes no lock and allocates nothing: it only hands the port to the receive task.
    // A port outside 1..65535 (or one made from a negative base, badBase) opens nothing: the
    // server stays off and says so once on standard output (through the log ring).
    void SetPort(long long port, bool badBase = false);
    void Disable();
    // The port asked for, 0 while disabled. Any thread.
    int GetPort() const noexcept { return m_port.load(std::memory_order_relaxed); }
    // The port of the socket open now, 0 while none is. Any thread.
    int GetListeningPort() const noexcept
    {
        return m_listeningPort.load(std::memory_order_acquire);
    }

    // Any thread that sets a parameter, the render thread included: queues the change for its
    // subscribers, if it has any, and wakes the notify task. Takes no lock.
    void NotifySetParam(int id, float value) noexcept;
    // Changes reported so far, subscribed or not. Any thread.
    unsigned long GetNotifyCount() const noexcept
    {
        return m_notifyCount.load(std::memory_order_relaxed);
    }

    // Handles one received packet as the receive task does. The receive task, or a test or
    // fuzzer standing in for it.
    void HandlePacket(const char* data, int size, const IpEndpointName& remote);

    // Cuts text (a reply URL, changed in place) into host and port: skips "osc.udp://", reads the
    // decimal port after ':' (-1 without one) and ends the host there. Returns the host.
    static const char* ParseAddress(char* text, int& outPort) noexcept;

    // The service name: product name, a space and the version, and " on " + the host name when
    // it can be read.
    std::string ServiceName() const;
    // The name under which the service is advertised now; empty while none is. Any thread.
    std::string AdvertisedName() const { return m_service.RegisteredName(); }

    // ---- Script-registered paths. Any thread that runs scripts (under the script lock). ----

    // Adds a parameter path after the earlier registrations of that path. False (nothing added)
    // when the path has registrations of a different length.
    bool AddParameterPath(const std::string& path, std::vector<RegisteredPathParam> params);
    // Adds a function path (a registry reference of the function).
    void AddFunctionPath(const std::string& path, int reference);

    // The script functions registerOSCPathForParameter(Normalized) (path, p or list of p),
    // registerOSCPathForFunction (path, f) and sendOSC (url, path [, [format,] values]). Each
    // returns its number of results (0); errors are raised as script errors.
    int RegisterOSCPathForParameter(lua_State* L, bool normalized);
    int RegisterOSCPathForFunction(lua_State* L);
    static int LuaSendOSC(lua_State* L);

    // ---- Dispatch, overridable for other instruments. ----

    // Whether a parameter id is in use; every id here.
    virtual bool isParameterUsed(int id);
    // The endpoint of a reply URL (ResolveOSCURL); a fuzzer keeps replies on this machine here.
    virtual IpEndpointName ResolveReplyURL(const char* url);

protected:
    void ProcessPacket(const char* data, int size, const IpEndpointName& remote) override;
    void ProcessBundle(const osc::ReceivedBundle& bundle, const IpEndpointName& remote) override;
    void ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName& remote) override;
    // Addresses that nothing else handles come here; ignored.
    virtual void ProcessMessage(const char* address, const osc::ReceivedMessage& message,
                                const IpEndpointName& remote);

private:
    struct UpdateRegistration
    {
        IpEndpointName endpoint;
        std::string path;
    };
    using Command = void (OSCHelper::*)(const osc::ReceivedMessage&, const IpEndpointName&);
    struct CommandEntry
    {
        const char* address;
        Command run;
    };
    static const CommandEntry kCommands[];

    // Tasks.
    void TaskMain();
    void ListenOnce();
    void NotifyTaskMain();
    void PushChanges();
    void InterruptReceiveLoop() noexcept;
    void SetRegisteredFlag(int id);
    // The receive task: whether one more reply may be sent now (the rate limit).
    bool TakeReplyBudget();
    void PrintDropped();

    // Dispatch steps.
    void ProcessT3DBundle(const osc::ReceivedBundle& bundle);
    void ProcessTARNMessage(const osc::ReceivedMessage& message, const IpEndpointName& remote);
    bool DispatchParameterPath(const char* address, const osc::ReceivedMessage& message);
    bool DispatchFunctionPath(const char* address, const osc::ReceivedMessage& message);
    void DispatchMessage(const osc::ReceivedMessage& message, const IpEndpointName& remote);

    // Helpers of the commands.
    void CheckId(int id, const char* what) const;
    float ParameterValue(int id) const;
    void SetParameterValue(int id, float value);
    void SendNote(std::uint8_t status, int note, float velocity);
    // Pushes the message's arguments from first on as script values; returns their count.
    // Throws (pushing nothing) on an argument type that scripts cannot take.
    static int PushScriptArguments(lua_State* L, osc::ReceivedMessage::const_iterator first,
                                   osc::ReceivedMessage::const_iterator end);
    static void CheckScriptArguments(osc::ReceivedMessage::const_iterator first,
                                     osc::ReceivedMessage::const_iterator end);
    void CallScript(const char* function, const osc::ReceivedMessage& message,
                    osc::ReceivedMessage::const_iterator first, const char* replyURL,
                    const char* replyPath);

    // The command set.
    void Ping(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void Set(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void Get(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void GetAll(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void GetAllRegistered(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void GetNumParameters(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void IsParameterUsed(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void GetInfo(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void RegisterUpdate(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void UnregisterUpdate(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void Exec(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void Call(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void StartNote(const osc::ReceivedMessage& m, const IpEndpointName& remote);
    void StopNote(const osc::ReceivedMessage& m, const IpEndpointName& remote);

    MusicDeviceBase* m_instance;
    std::string m_productName;
    int m_paramCount = 0;
    const Tarn::ParamInfo* m_paramInfos = nullptr;
    LuaMIDIHelper* m_lua;

    std::thread m_receiveTask;
    std::thread m_notifyTask;
    OSCTaskEvent m_receiveEvent;
    OSCTaskEvent m_notifyEvent;
    OSCDoneSignal m_receiveDone;
    OSCDoneSignal m_notifyDone;

    std::atomic<int> m_port{0};
    // The last port refused by SetPort, so a refusal is said once; 0 when none was.
    std::atomic<long long> m_refusedPort{0};
    std::atomic<int> m_listeningPort{0};
    // An eventfd for the server's whole life: SetPort, Disable and DestroyTask write to it, and
    // the receive loop ends as soon as it is readable, even when the write came before the loop
    // started. The receive task empties it before it reads the port of a new listening period.
    int m_wakeFd = -1;

    // "/registerUpdate" subscriptions by parameter id, in registration order.
    mutable std::mutex m_registrationLock;
    std::multimap<int, UpdateRegistration> m_registrations;
    // 1 while an id has at least one subscription; ids from m_registeredFlagCount on have none.
    std::array<std::atomic<std::uint8_t>, kMaxParameterCount> m_registeredFlags{};
    std::atomic<int> m_registeredFlagCount{0};

    // The reply rate limit; the receive task only.
    std::chrono::steady_clock::time_point m_replyWindowStart{};
    int m_repliesInWindow = 0;
    unsigned long m_repliesDropped = 0;

    SetParamQueue m_changeQueue;
    std::atomic<unsigned long> m_notifyCount{0};

    // Script-registered paths, in registration order per path.
    mutable std::mutex m_pathLock;
    std::multimap<std::string, std::vector<RegisteredPathParam>> m_parameterPaths;
    std::multimap<std::string, int> m_functionPaths;

    ServiceAdvertiser m_service;
};

} // namespace TW
