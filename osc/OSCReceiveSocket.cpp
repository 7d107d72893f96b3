// The OSC server's receive socket: poll on the socket and a wake-up descriptor, recvfrom into
// one 64 KiB buffer.
#include "OSCReceiveSocket.h"

#include <oscpack/ip/IpEndpointName.h>
#include <oscpack/ip/PacketListener.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace TW
{

namespace
{

std::runtime_error SocketError(const char* what, int port, int error)
{
    return std::runtime_error(std::string(what) + " (port " + std::to_string(port) + ": " +
                              std::strerror(error) + ")");
}

} // namespace

OSCReceiveSocket::OSCReceiveSocket(int port, int wakeFd)
    : m_wake(wakeFd), m_buffer(new char[kBufferSize])
{
    m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0)
        throw SocketError("unable to create udp socket", port, errno);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    {
        const int error = errno;
        close(m_socket);
        throw SocketError("unable to bind udp socket", port, error);
    }
}

OSCReceiveSocket::~OSCReceiveSocket()
{
    close(m_socket);
}

void OSCReceiveSocket::Run(PacketListener& listener)
{
    pollfd waits[2] = {{m_wake, POLLIN, 0}, {m_socket, POLLIN, 0}};
    for (;;)
    {
        waits[0].revents = waits[1].revents = 0;
        if (poll(waits, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
        }
        if (waits[0].revents)
            return;
        if (!(waits[1].revents & (POLLIN | POLLERR)))
            continue;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        // MSG_TRUNC gives the datagram's real size, so a cut datagram is never parsed as whole.
        const ssize_t size =
            recvfrom(m_socket, m_buffer.get(), kBufferSize, MSG_TRUNC | MSG_DONTWAIT,
                     reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (size < 0)
        {
            // A pending error of the socket (an ICMP report for an earlier reply) is taken
            // and reading goes on.
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK ||
                errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH)
                continue;
            throw std::runtime_error(std::string("receive failed: ") + std::strerror(errno));
        }
        if (static_cast<std::size_t>(size) > kBufferSize)
        {
            std::printf("error while parsing message: a datagram of %zd bytes is larger than "
                        "%zu\n",
                        size, kBufferSize);
            std::fflush(stdout);
            continue;
        }
        const IpEndpointName remote(ntohl(from.sin_addr.s_addr), ntohs(from.sin_port));
        listener.ProcessPacket(m_buffer.get(), static_cast<int>(size), remote);
    }
}

} // namespace TW
