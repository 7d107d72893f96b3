// The OSC server's packet handling: bundles, touch frames, the "/tarn/" family, registered
// parameter paths and the command set. Everything here runs on the receive task.
#include "OSCHelper.h"

#include "OSCMessageLayout.h"
#include "OSCReply.h"
#include "TarnAddressParser.h"

#include "core/ParameterTable.h"
#include "core/VellunaVersion.h"
#include "platform/MusicDeviceBase.h"
#include "scripting/LuaMIDIHelper.h"
#include "scripting/TarnInstanceTracker.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace TW
{

namespace
{

// Refuses a message whose parts do not lie inside it, before oscpack reads it.
// Lets oscpack read every message of a bundle whose layout has been checked, before any is
// dispatched, so that a malformed packet is refused as a whole before any of its messages has an
// effect.
void Validate(const osc::ReceivedBundle& bundle)
{
    for (auto i = bundle.ElementsBegin(); i != bundle.ElementsEnd(); ++i)
    {
        if (i->IsBundle())
            Validate(osc::ReceivedBundle(*i));
        else
            osc::ReceivedMessage message(*i);
    }
}

void RequireFinite(float value)
{
    if (!std::isfinite(value))
        throw OSCError("value is not a finite number");
}

// A short decimal number at p (at most 9 digits), or -1.
int DecimalAt(const char* p) noexcept
{
    int n = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
    {
        if (++digits > 9)
            return -1;
        n = n * 10 + (*p - '0');
    }
    return digits ? n : -1;
}

} // namespace

const OSCHelper::CommandEntry OSCHelper::kCommands[] = {
    {"/ping", &OSCHelper::Ping},
    {"/set", &OSCHelper::Set},
    {"/get", &OSCHelper::Get},
    {"/getAll", &OSCHelper::GetAll},
    {"/getAllRegistered", &OSCHelper::GetAllRegistered},
    {"/getNumParameters", &OSCHelper::GetNumParameters},
    {"/isParameterUsed", &OSCHelper::IsParameterUsed},
    {"/getInfo", &OSCHelper::GetInfo},
    {"/registerUpdate", &OSCHelper::RegisterUpdate},
    {"/unregisterUpdate", &OSCHelper::UnregisterUpdate},
    {"/exec", &OSCHelper::Exec},
    {"/call", &OSCHelper::Call},
    {"/startNote", &OSCHelper::StartNote},
    {"/stopNote", &OSCHelper::StopNote},
};

void OSCHelper::HandlePacket(const char* data, int size, const IpEndpointName& remote)
{
    ProcessPacket(data, size, remote);
}

void OSCHelper::ProcessPacket(const char* data, int size, const IpEndpointName& remote)
{
    // Errors of single messages are reported where they are dispatched; what arrives here is a
    // packet that cannot be read at all. It is refused and the server goes on listening.
    try
    {
        const char* why = nullptr;
        if (size < 0 || !CheckOSCPacketLayout(data, static_cast<std::size_t>(size), why))
            throw osc::MalformedPacketException(why ? why : "malformed packet");
        osc::ReceivedPacket packet(data, size);
        if (packet.IsBundle())
        {
            osc::ReceivedBundle bundle(packet);
            Validate(bundle);
            ProcessBundle(bundle, remote);
        }
        else
            ProcessMessage(osc::ReceivedMessage(packet), remote);
    }
    catch (const std::exception& e)
    {
        std::printf("error while parsing message: %s\n", e.what());
        std::fflush(stdout);
    }
}

void OSCHelper::ProcessBundle(const osc::ReceivedBundle& bundle, const IpEndpointName& remote)
{
    if (bundle.ElementCount() > 0)
    {
        // The iterator owns the element it points at, so it is kept while the element is used.
        const auto first = bundle.ElementsBegin();
        if (!first->IsBundle() &&
            std::strncmp(osc::ReceivedMessage(*first).AddressPattern(), "/t3d/frm", 8) == 0)
            return ProcessT3DBundle(bundle);
    }
    // Time tags are ignored: everything runs at once, in order.
    for (auto i = bundle.ElementsBegin(); i != bundle.ElementsEnd(); ++i)
    {
        if (i->IsBundle())
            ProcessBundle(osc::ReceivedBundle(*i), remote);
        else
            ProcessMessage(osc::ReceivedMessage(*i), remote);
    }
}

void OSCHelper::ProcessT3DBundle(const osc::ReceivedBundle& bundle)
{
    // A touch frame is consumed whole; the instrument takes nothing from it, but the touches are
    // read so that a malformed frame is reported.
    try
    {
        for (auto i = bundle.ElementsBegin(); i != bundle.ElementsEnd(); ++i)
        {
            if (i->IsBundle())
                continue;
            const osc::ReceivedMessage message(*i);
            const char* address = message.AddressPattern();
            if (std::strncmp(address, "/t3d/tch", 8) != 0)
                continue;
            const int touch = DecimalAt(address + 8);
            if (touch < 1 || touch > 16)
                continue;
            float x = 0, y = 0, z = 0, w = 0;
            message.ArgumentStream() >> x >> y >> z >> w;
        }
    }
    catch (const osc::Exception& e)
    {
        std::printf("error while parsing message: %s\n", e.what());
        std::fflush(stdout);
    }
}

void OSCHelper::ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName& remote)
{
    try
    {
        DispatchMessage(message, remote);
    }
    catch (const std::exception& e)
    {
        std::printf("error while parsing message: %s: %s\n", message.AddressPattern(), e.what());
        std::fflush(stdout);
    }
}

void OSCHelper::DispatchMessage(const osc::ReceivedMessage& message, const IpEndpointName& remote)
{
    const char* address = message.AddressPattern();
    if (std::strncmp(address, "/tarn/", 6) == 0)
        return ProcessTARNMessage(message, remote);
    // Script paths come before the commands, so a script can take over any command address.
    if (DispatchParameterPath(address, message) || DispatchFunctionPath(address, message))
        return;
    for (const CommandEntry& command : kCommands)
        if (std::strcmp(address, command.address) == 0)
            return (this->*command.run)(message, remote);
    ProcessMessage(address, message, remote);
}

void OSCHelper::ProcessMessage(const char*, const osc::ReceivedMessage&, const IpEndpointName&) {}

void OSCHelper::ProcessTARNMessage(const osc::ReceivedMessage& message, const IpEndpointName&)
{
    const char* address = message.AddressPattern();
    std::vector<TarnAddressGroup> groups;
    if (!ParseTarnAddress(address + 6, groups))
        throw OSCError(address);
    // Every group's value is read and checked before the first is applied, so a message that
    // fails part-way changes nothing.
    std::vector<float> values;
    auto arg = message.ArgumentsBegin();
    for (std::size_t g = 0; g < groups.size(); ++g, ++arg)
    {
        if (arg == message.ArgumentsEnd())
            throw osc::MissingArgumentException();
        values.push_back(arg->AsFloat());
        RequireFinite(values.back());
    }
    for (std::size_t g = 0; g < groups.size(); ++g)
    {
        const TarnAddressGroup& group = groups[g];
        TarnOSCMessage target;
        target.instanceName = group.hasInstanceName ? group.instanceName.c_str() : nullptr;
        target.instanceNumber = group.instanceNumber;
        target.parameterName = group.hasParameterName ? group.parameterName.c_str() : nullptr;
        target.parameterNumber = group.parameterId;
        target.parameterOffset = group.parameterOffset;
        TarnInstanceTracker::HandleTARNMessage(target, values[g]);
    }
}

bool OSCHelper::DispatchParameterPath(const char* address, const osc::ReceivedMessage& message)
{
    std::vector<std::vector<RegisteredPathParam>> registrations;
    {
        std::lock_guard<std::mutex> lock(m_pathLock);
        auto [first, last] = m_parameterPaths.equal_range(address);
        for (auto it = first; it != last; ++it)
            registrations.push_back(it->second);
    }
    if (registrations.empty())
        return false;
    const std::size_t n = registrations.front().size();
    std::vector<float> a(n);
    osc::ReceivedMessageArgumentStream args = message.ArgumentStream();
    for (float& value : a)
        args >> value;
    args >> osc::EndMessage;
    // All values are computed and checked before any parameter is set.
    std::vector<std::pair<std::int32_t, float>> changes;
    for (const auto& params : registrations)
        for (std::size_t k = 0; k < n && k < params.size(); ++k)
        {
            RequireFinite(a[k]);
            const float value = params[k].scale * a[k] + params[k].offset;
            RequireFinite(value);
            changes.emplace_back(params[k].id, value);
        }
    for (const auto& [id, value] : changes)
        SetParameterValue(id, value);
    return true;
}

void OSCHelper::CheckId(int id, const char* what) const
{
    if (id < 0 || id >= m_paramCount)
        throw OSCError(std::string("parameter id out of range in ") + what);
}

float OSCHelper::ParameterValue(int id) const
{
    // An id that the store does not hold (reserved ones) reads as 0.
    float value = 0.0f;
    if (m_instance->DispatchGetParameter(static_cast<ParameterID>(id), Scope::Global, 0, value) !=
        kNoErr)
        return 0.0f;
    return value;
}

void OSCHelper::SetParameterValue(int id, float value)
{
    AUParameterSet(nullptr, nullptr, {m_instance, static_cast<ParameterID>(id), Scope::Global, 0},
                   value, 0);
}

bool OSCHelper::TakeReplyBudget()
{
    // A fixed window: at most kMaxRepliesPerSecond replies in each second, so no request (or
    // flood of requests) can turn this server into an amplifier towards some address.
    const auto now = std::chrono::steady_clock::now();
    if (now - m_replyWindowStart >= std::chrono::seconds(1))
    {
        if (m_repliesDropped > 0)
            PrintDropped();
        m_replyWindowStart = now;
        m_repliesInWindow = 0;
    }
    if (m_repliesInWindow < kMaxRepliesPerSecond)
    {
        ++m_repliesInWindow;
        return true;
    }
    if (m_repliesDropped++ == 0)
        PrintDropped();
    return false;
}

void OSCHelper::PrintDropped()
{
    std::printf("OSC replies above %d per second are dropped (%lu so far in this second)\n",
                kMaxRepliesPerSecond, m_repliesDropped);
    std::fflush(stdout);
    m_repliesDropped = 0;
}

void OSCHelper::Ping(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    const char* url = nullptr;
    const char* path = nullptr;
    m.ArgumentStream() >> url >> path >> osc::EndMessage;
    const IpEndpointName to = ResolveReplyURL(url);
    // The server's socket listens on every interface; the address named is the one the system
    // would send from towards the requester.
    const std::string self = "osc.udp://" + DottedAddress(LocalAddressTowards(to)) + ":" +
                             std::to_string(m_listeningPort.load());
    const std::string product = m_productName + " " + Tarn::kVersionString;
    OSCReply reply(path);
    reply.Args() << self.c_str() << product.c_str();
    if (TakeReplyBudget())
        reply.SendTo(to);
}

void OSCHelper::Set(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    osc::int32 id = 0;
    float value = 0.0f;
    m.ArgumentStream() >> id >> value >> osc::EndMessage;
    CheckId(id, "set");
    RequireFinite(value);
    SetParameterValue(id, value);
}

void OSCHelper::Get(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    osc::int32 id = 0;
    const char* url = nullptr;
    const char* path = nullptr;
    m.ArgumentStream() >> id >> url >> path >> osc::EndMessage;
    CheckId(id, "get");
    const IpEndpointName to = ResolveReplyURL(url);
    OSCReply reply(path);
    reply.Args() << id << ParameterValue(id);
    if (TakeReplyBudget())
        reply.SendTo(to);
}

void OSCHelper::GetAll(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    const char* url = nullptr;
    const char* path = nullptr;
    m.ArgumentStream() >> url >> path >> osc::EndMessage;
    UdpTransmitSocket socket(ResolveReplyURL(url));
    for (int id = 0; id < m_paramCount; ++id)
    {
        if (!isParameterUsed(id))
            continue;
        OSCReply reply(path);
        reply.Args() << static_cast<osc::int32>(id) << ParameterValue(id);
        if (!TakeReplyBudget())
            break;
        reply.SendOn(socket);
    }
}

void OSCHelper::GetAllRegistered(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    m.ArgumentStream() >> osc::EndMessage;
    std::vector<std::pair<int, UpdateRegistration>> registrations;
    {
        std::lock_guard<std::mutex> lock(m_registrationLock);
        registrations.assign(m_registrations.begin(), m_registrations.end());
    }
    for (const auto& [id, registration] : registrations)
    {
        OSCReply reply(registration.path.c_str());
        reply.Args() << static_cast<osc::int32>(id) << ParameterValue(id);
        if (!TakeReplyBudget())
            break;
        reply.SendTo(registration.endpoint);
    }
}

void OSCHelper::GetNumParameters(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    const char* url = nullptr;
    const char* path = nullptr;
    m.ArgumentStream() >> url >> path >> osc::EndMessage;
    const IpEndpointName to = ResolveReplyURL(url);
    OSCReply reply(path);
    reply.Args() << static_cast<osc::int32>(m_paramCount);
    if (TakeReplyBudget())
        reply.SendTo(to);
}

void OSCHelper::IsParameterUsed(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    osc::int32 id = 0;
    const char* url = nullptr;
    const char* path = nullptr;
    m.ArgumentStream() >> id >> url >> path >> osc::EndMessage;
    CheckId(id, "isParameterUsed");
    const IpEndpointName to = ResolveReplyURL(url);
    OSCReply reply(path);
    reply.Args() << id << isParameterUsed(id);
    if (TakeReplyBudget())
        reply.SendTo(to);
}

void OSCHelper::GetInfo(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    osc::int32 id = 0;
    const char* url = nullptr;
    const char* path = nullptr;
    m.ArgumentStream() >> id >> url >> path >> osc::EndMessage;
    CheckId(id, "getInfo");
    if (!m_paramInfos)
        throw OSCError("no parameter table");
    const IpEndpointName to = ResolveReplyURL(url);
    const Tarn::ParamInfo& info = m_paramInfos[id];
    // The name as 7-bit text of at most 255 characters.
    std::string name(info.name ? info.name : "");
    if (name.size() > 255)
        name.resize(255);
    for (char& c : name)
        if (static_cast<unsigned char>(c) >= 0x80)
            c = '?';
    OSCReply reply(path);
    reply.Args() << id << info.minValue << info.maxValue << info.defaultValue << name.c_str()
                 << static_cast<osc::int32>(info.unit);
    if (TakeReplyBudget())
        reply.SendTo(to);
}

void OSCHelper::RegisterUpdate(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    osc::int32 id = 0;
    const char* url = nullptr;
    const char* path = nullptr;
    m.ArgumentStream() >> id >> url >> path >> osc::EndMessage;
    CheckId(id, "registerUpdate");
    const IpEndpointName endpoint = ResolveReplyURL(url);
    std::lock_guard<std::mutex> lock(m_registrationLock);
    auto [first, last] = m_registrations.equal_range(id);
    for (auto it = first; it != last; ++it)
        if (it->second.endpoint == endpoint && it->second.path == path)
            return;
    if (m_registrations.size() >= kMaxSubscriptions)
        throw OSCError("too many subscriptions: an instance keeps at most " +
                       std::to_string(kMaxSubscriptions));
    m_registrations.emplace(id, UpdateRegistration{endpoint, path});
    SetRegisteredFlag(id);
}

void OSCHelper::UnregisterUpdate(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    osc::int32 id = 0;
    const char* url = nullptr;
    const char* path = nullptr;
    m.ArgumentStream() >> id >> url >> path >> osc::EndMessage;
    CheckId(id, "registerUpdate");
    const IpEndpointName endpoint = ResolveReplyURL(url);
    std::lock_guard<std::mutex> lock(m_registrationLock);
    auto [first, last] = m_registrations.equal_range(id);
    for (auto it = first; it != last; ++it)
        if (it->second.endpoint == endpoint && it->second.path == path)
        {
            m_registrations.erase(it);
            break;
        }
    SetRegisteredFlag(id);
}

void OSCHelper::SendNote(std::uint8_t status, int note, float velocity)
{
    RequireFinite(velocity);
    // The velocity byte: the low 8 bits of velocity * 127, truncated toward zero.
    const float product = velocity * 127.0f;
    const int scaled =
        product > -2147483648.0f && product < 2147483648.0f ? static_cast<int>(product) : 0;
    if (!m_lua)
        return;
    // Handed to the render thread through the event queue (channel 1, which scripts see as 2):
    // the note starts or stops at the next render call, and the voices are touched only there.
    m_lua->HandleRemoteMidiEvent(status, 1, static_cast<std::uint8_t>(note & 0xFF),
                                 static_cast<std::uint8_t>(scaled & 0xFF));
}

void OSCHelper::StartNote(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    osc::int32 note = 0;
    float velocity = 0.0f;
    m.ArgumentStream() >> note >> velocity >> osc::EndMessage;
    SendNote(0x90, note, velocity);
}

void OSCHelper::StopNote(const osc::ReceivedMessage& m, const IpEndpointName&)
{
    osc::int32 note = 0;
    float velocity = 0.0f;
    m.ArgumentStream() >> note >> velocity >> osc::EndMessage;
    SendNote(0x80, note, velocity);
}

} // namespace TW
