#include "OSCTestPeer.h"

#include "osc/OSCHelper.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace TarnTest
{

namespace
{

sockaddr_in Loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

void Collect(const osc::ReceivedBundle& bundle, std::vector<osc::ReceivedMessage>& out)
{
    for (auto i = bundle.ElementsBegin(); i != bundle.ElementsEnd(); ++i)
        if (i->IsBundle())
            Collect(osc::ReceivedBundle(*i), out);
        else
            out.emplace_back(*i);
}

bool PortFree(int port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

} // namespace

bool OSCPacket::IsBundle() const
{
    return osc::ReceivedPacket(bytes.data(),
                               static_cast<osc::osc_bundle_element_size_t>(bytes.size()))
        .IsBundle();
}

osc::uint64 OSCPacket::TimeTag() const
{
    osc::ReceivedPacket p(bytes.data(), static_cast<osc::osc_bundle_element_size_t>(bytes.size()));
    return osc::ReceivedBundle(p).TimeTag();
}

std::vector<osc::ReceivedMessage> OSCPacket::Messages() const
{
    std::vector<osc::ReceivedMessage> out;
    osc::ReceivedPacket p(bytes.data(), static_cast<osc::osc_bundle_element_size_t>(bytes.size()));
    if (p.IsBundle())
        Collect(osc::ReceivedBundle(p), out);
    else
        out.emplace_back(p);
    return out;
}

OSCTestPeer::OSCTestPeer()
{
    m_fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback(0);
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error("cannot bind a test socket");
    socklen_t length = sizeof a;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length);
    m_port = ntohs(a.sin_port);
}

OSCTestPeer::~OSCTestPeer()
{
    if (m_fd >= 0)
        close(m_fd);
}

std::string OSCTestPeer::URL() const
{
    return "osc.udp://127.0.0.1:" + std::to_string(m_port);
}

std::optional<OSCPacket> OSCTestPeer::Receive(std::chrono::milliseconds timeout)
{
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return std::nullopt;
    OSCPacket packet;
    packet.bytes.resize(65536);
    const ssize_t n = recv(m_fd, packet.bytes.data(), packet.bytes.size(), 0);
    if (n <= 0)
        return std::nullopt;
    packet.bytes.resize(static_cast<std::size_t>(n));
    return packet;
}

std::vector<OSCPacket> OSCTestPeer::ReceiveAll(std::chrono::milliseconds quiet)
{
    std::vector<OSCPacket> out;
    while (auto p = Receive(quiet))
        out.push_back(std::move(*p));
    return out;
}

void OSCTestPeer::SendTo(int port, const char* data, std::size_t size)
{
    const sockaddr_in to = Loopback(port);
    sendto(m_fd, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

int FreeUDPPort()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}

int FreeUDPPortRange(int span)
{
    for (int attempt = 0; attempt < 200; ++attempt)
    {
        const int base = FreeUDPPort();
        if (base + span > 65535)
            continue;
        bool free = true;
        for (int k = 0; k <= span && free; ++k)
            free = PortFree(base + k);
        if (free)
            return base;
    }
    throw std::runtime_error("no free port range");
}

std::string HandleOSCPacket(TW::OSCHelper& osc, const OSCPacketBuilder& packet)
{
    // Any address: the commands that reply are given their reply address in the message.
    static const IpEndpointName kRemote(IpEndpointName::ANY_ADDRESS, 9);
    testing::internal::CaptureStdout();
    osc.HandlePacket(packet.Data(), packet.Size(), kRemote);
    return testing::internal::GetCapturedStdout();
}

std::string OSCParseError(const char* address, const std::string& text)
{
    return std::string("error while parsing message: ") + address + ": " + text + "\n";
}

} // namespace TarnTest
