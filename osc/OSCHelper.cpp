// The OSC server's life: tasks, sockets, subscriptions and the change queue.
#include "OSCHelper.h"

#include "OSCReceiveSocket.h"
#include "OSCReply.h"

#include "core/ParameterTable.h"
#include "core/TarnProperty.h"
#include "core/VellunaVersion.h"
#include "platform/LogRing.h"
#include "platform/MusicDeviceBase.h"
#include "scripting/LuaMIDIHelper.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace TW
{

namespace
{

template <class T> bool GetProp(MusicDeviceBase* instance, PropertyID id, T& out)
{
    std::uint32_t size = sizeof(T);
    return instance->DispatchGetProperty(id, Scope::Global, 0, &out, &size) == kNoErr;
}

// Prints prefix, the text without its own trailing line feeds, and one line feed.
void PrintLine(const char* prefix, const char* text)
{
    std::string line = text ? text : "";
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    std::printf("%s%s\n", prefix, line.c_str());
    std::fflush(stdout);
}

} // namespace

OSCHelper::OSCHelper(MusicDeviceBase* instance, LuaMIDIHelper* lua)
    : m_instance(instance), m_lua(lua)
{
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        throw std::system_error(errno, std::generic_category(),
                                "OSC: unable to create the receive loop's wake-up");
}

OSCHelper::~OSCHelper()
{
    DestroyTask();
    close(m_wakeFd);
}

void OSCHelper::Initialize()
{
    const char* name = nullptr;
    if (GetProp(m_instance, kPropertySecondaryAppSupportName, name) && name)
        m_productName = name;
    std::uint32_t count = 0;
    if (GetProp(m_instance, kPropertyParameterCount, count))
        m_paramCount = static_cast<int>(count);
    {
        // Subscriptions outlive Initialize; their flags are set again from them, so a second
        // Initialize keeps pushing to existing subscribers.
        std::lock_guard<std::mutex> lock(m_registrationLock);
        const int flags = std::min(std::max(m_paramCount, 0), kMaxParameterCount);
        for (int id = 0; id < kMaxParameterCount; ++id)
            m_registeredFlags[static_cast<std::size_t>(id)].store(
                id < flags && m_registrations.count(id) ? 1 : 0, std::memory_order_relaxed);
        m_registeredFlagCount.store(flags, std::memory_order_release);
    }
    const void* table = nullptr;
    if (GetProp(m_instance, kPropertyParameterTable, table))
        m_paramInfos = static_cast<const Tarn::ParamInfo*>(table);
    if (m_lua)
    {
        std::lock_guard<std::recursive_mutex> lock(m_lua->GetScriptLock());
        m_lua->LuaInit();
    }
}

void OSCHelper::CreateTask()
{
    if (m_receiveTask.joinable())
    {
        std::printf("Warning: Attempt to recreate OSC task\n");
        std::fflush(stdout);
        return;
    }
    m_receiveEvent.Clear();
    m_notifyEvent.Clear();
    m_receiveDone.Reset();
    m_notifyDone.Reset();
    try
    {
        m_receiveTask = std::thread(&OSCHelper::TaskMain, this);
        m_notifyTask = std::thread(&OSCHelper::NotifyTaskMain, this);
    }
    catch (const std::system_error& e)
    {
        std::printf("MPCreateTask returned %d\n", e.code().value());
        std::fflush(stdout);
        return;
    }
    // A port set before the tasks existed (restored state, or an earlier Cleanup) is listened
    // on now.
    if (m_port.load() != 0)
        m_receiveEvent.Set(OSCTaskEvent::kWakeUp);
}

void OSCHelper::DestroyTask()
{
    if (!m_receiveTask.joinable() && !m_notifyTask.joinable())
        return;
    InterruptReceiveLoop();
    m_receiveEvent.Set(OSCTaskEvent::kQuit);
    m_notifyEvent.Set(OSCTaskEvent::kQuit);
    // A task cannot be killed safely while it may hold the script lock or a socket; after the
    // time-out it is still waited for (a runaway script is ended by the scripting host's
    // instruction budget).
    if (m_receiveTask.joinable())
    {
        if (!m_receiveDone.WaitFor(kShutdownTimeout))
        {
            std::printf("OSC: DestroyTask timeout on shutdown\n");
            std::fflush(stdout);
        }
        m_receiveTask.join();
    }
    if (m_notifyTask.joinable())
    {
        if (!m_notifyDone.WaitFor(kShutdownTimeout))
        {
            std::printf("OSC: DestroyTask timeout on shutdown (notify)\n");
            std::fflush(stdout);
        }
        m_notifyTask.join();
    }
}

void OSCHelper::SetPort(long long port, bool badBase)
{
    if (badBase || port < 1 || port > 65535)
    {
        Disable();
        if (m_refusedPort.exchange(port) != port)
        {
            char line[LogRing::kLineBytes];
            std::snprintf(line, sizeof line, "OSC port %lld %s: the OSC server stays off", port,
                          badBase ? "comes from a negative base port" : "is outside 1..65535");
            LogRing::Get().Write(line, LogRing::Stream::Output);
        }
        return;
    }
    m_refusedPort.store(0);
    m_port.store(static_cast<int>(port));
    InterruptReceiveLoop();
    m_receiveEvent.Set(OSCTaskEvent::kWakeUp);
}

void OSCHelper::Disable()
{
    m_port.store(0);
    InterruptReceiveLoop();
}

void OSCHelper::InterruptReceiveLoop() noexcept
{
    const std::uint64_t one = 1;
    // The counter only grows: a full counter (never reached) still reads as a wake-up.
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

void OSCHelper::TaskMain()
{
    unsigned flags = m_receiveEvent.Wait();
    while (!(flags & OSCTaskEvent::kQuit))
    {
        ListenOnce();
        flags = m_receiveEvent.Wait();
    }
    m_receiveDone.Signal();
}

void OSCHelper::ListenOnce()
{
    m_listeningPort.store(0, std::memory_order_release);
    // Emptied before the port is read: a SetPort from here on ends the period we start now.
    std::uint64_t wakeUps = 0;
    [[maybe_unused]] const ssize_t taken = read(m_wakeFd, &wakeUps, sizeof wakeUps);
    const int port = m_port.load();
    if (port == 0)
        return; // disabled since the wake-up
    std::unique_ptr<OSCReceiveSocket> socket;
    try
    {
        socket = std::make_unique<OSCReceiveSocket>(port, m_wakeFd);
    }
    catch (const std::exception& e)
    {
        // Said once per port asked for: the server stays silent until the next SetPort.
        PrintLine("std::runtime_error in TaskMain(): ", e.what());
        return;
    }
    m_listeningPort.store(port, std::memory_order_release);
    m_service.Publish(ServiceName(), port);
    try
    {
        PacketListener& listener = *this;
        socket->Run(listener);
    }
    catch (const std::exception& e)
    {
        PrintLine("std::runtime_error in TaskMain(): ", e.what());
    }
    m_service.Unpublish();
    socket.reset();
    m_listeningPort.store(0, std::memory_order_release);
}

std::string OSCHelper::ServiceName() const
{
    std::string name = m_productName + " " + Tarn::kVersionString;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0')
        name += std::string(" on ") + host;
    // The name is 7-bit text.
    for (char& c : name)
        if (static_cast<unsigned char>(c) >= 0x80)
            c = '?';
    return name;
}

const char* OSCHelper::ParseAddress(char* text, int& outPort) noexcept
{
    if (std::strncmp(text, "osc.udp://", 10) == 0)
        text += 10;
    char* colon = std::strchr(text, ':');
    if (!colon)
    {
        outPort = -1;
        return text;
    }
    *colon = '\0';
    // Decimal digits only, so a liblo URL's trailing "/" ends the number.
    long port = 0;
    const char* p = colon + 1;
    if (*p < '0' || *p > '9')
        port = -1;
    for (; *p >= '0' && *p <= '9' && port >= 0 && port <= 65535; ++p)
        port = port * 10 + (*p - '0');
    outPort = port > 65535 ? -1 : static_cast<int>(port);
    return text;
}

void OSCHelper::NotifySetParam(int id, float value) noexcept
{
    m_notifyCount.fetch_add(1, std::memory_order_relaxed);
    if (id < 0 || id >= m_registeredFlagCount.load(std::memory_order_acquire))
        return;
    if (m_registeredFlags[static_cast<std::size_t>(id)].load(std::memory_order_acquire) == 0)
        return;
    if (m_changeQueue.Write(id, value))
        m_notifyEvent.Set(OSCTaskEvent::kWakeUp);
}

void OSCHelper::NotifyTaskMain()
{
    while (!(m_notifyEvent.Wait() & OSCTaskEvent::kQuit))
        PushChanges();
    m_notifyDone.Signal();
}

void OSCHelper::PushChanges()
{
    int id = 0;
    float value = 0.0f;
    std::vector<UpdateRegistration> subscribers;
    while (m_changeQueue.Read(id, value))
    {
        subscribers.clear();
        {
            std::lock_guard<std::mutex> lock(m_registrationLock);
            auto [first, last] = m_registrations.equal_range(id);
            for (auto it = first; it != last; ++it)
                subscribers.push_back(it->second);
        }
        for (const UpdateRegistration& s : subscribers)
        {
            try
            {
                OSCReply reply(s.path.c_str());
                reply.Args() << static_cast<osc::int32>(id) << value;
                reply.SendTo(s.endpoint);
            }
            catch (const std::exception&)
            {
                // A subscriber that cannot be reached (or a path too long for the buffer) loses
                // this change; the others still get it.
            }
        }
    }
}

void OSCHelper::SetRegisteredFlag(int id)
{
    // With m_registrationLock held.
    if (id >= 0 && id < m_registeredFlagCount.load(std::memory_order_relaxed))
        m_registeredFlags[static_cast<std::size_t>(id)].store(m_registrations.count(id) ? 1 : 0,
                                                              std::memory_order_release);
}

bool OSCHelper::AddParameterPath(const std::string& path, std::vector<RegisteredPathParam> params)
{
    std::lock_guard<std::mutex> lock(m_pathLock);
    const auto existing = m_parameterPaths.find(path);
    if (existing != m_parameterPaths.end() && existing->second.size() != params.size())
        return false;
    // Inserting with equal keys keeps registration order.
    m_parameterPaths.emplace(path, std::move(params));
    return true;
}

void OSCHelper::AddFunctionPath(const std::string& path, int reference)
{
    std::lock_guard<std::mutex> lock(m_pathLock);
    m_functionPaths.emplace(path, reference);
}

bool OSCHelper::isParameterUsed(int)
{
    return true;
}

IpEndpointName OSCHelper::ResolveReplyURL(const char* url)
{
    return ResolveOSCURL(url);
}

} // namespace TW
