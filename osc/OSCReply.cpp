#include "OSCReply.h"

#include "OSCHelper.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace TW
{

IpEndpointName ResolveOSCURL(const char* url)
{
    char text[1024];
    std::strncpy(text, url, sizeof text - 1);
    text[sizeof text - 1] = '\0';
    int port = -1;
    const char* host = OSCHelper::ParseAddress(text, port);
    if (port <= 0 || port > 65535)
        throw OSCError(std::string("no valid port in reply URL \"") + url + "\"");

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    // getaddrinfo, unlike the older resolver calls, is safe on any thread.
    if (*host == '\0' || getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        throw OSCError(std::string("cannot resolve host \"") + host + "\"");
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const unsigned long address = ntohl(in->sin_addr.s_addr);
    freeaddrinfo(found);
    return IpEndpointName(address, port);
}

unsigned long LocalAddressTowards(const IpEndpointName& remote)
{
    // Connecting a UDP socket sends nothing; it only asks the system to choose a route and so
    // the local address.
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        throw OSCError("cannot create a socket");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(static_cast<std::uint32_t>(remote.address));
    to.sin_port = htons(static_cast<std::uint16_t>(remote.port));
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
                    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    close(fd);
    if (!ok)
        throw OSCError("no route to " + DottedAddress(remote.address));
    return ntohl(local.sin_addr.s_addr);
}

std::string DottedAddress(unsigned long address)
{
    return std::to_string((address >> 24) & 0xFF) + "." + std::to_string((address >> 16) & 0xFF) +
           "." + std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

OSCReply::OSCReply(const char* path) : m_stream(m_buffer, kBufferSize)
{
    m_stream << osc::BeginBundleImmediate << osc::BeginMessage(path);
}

void OSCReply::Finish()
{
    m_stream << osc::EndMessage << osc::EndBundle;
}

void OSCReply::SendTo(const IpEndpointName& endpoint)
{
    Finish();
    UdpTransmitSocket socket(endpoint);
    socket.Send(m_stream.Data(), m_stream.Size());
}

void OSCReply::SendOn(UdpTransmitSocket& socket)
{
    Finish();
    socket.Send(m_stream.Data(), m_stream.Size());
}

} // namespace TW
