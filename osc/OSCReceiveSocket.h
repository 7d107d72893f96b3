// The UDP socket on which the OSC server receives: any datagram up to the largest UDP payload is
// read whole into a 64 KiB buffer and handed to a packet listener, until a wake-up descriptor
// that the owner writes to (from any thread) becomes readable.
#pragma once

#include <cstddef>
#include <memory>

class PacketListener;

namespace TW
{

class OSCReceiveSocket
{
public:
    // Bytes read per datagram: more than the largest UDP payload (65,507 bytes over IPv4).
    static constexpr std::size_t kBufferSize = 65536;

    // The receive task: an IPv4 UDP socket bound to every local address and this port, whose
    // receive loop ends when wakeFd (an eventfd the caller keeps) is readable. Throws
    // std::runtime_error ("unable to bind udp socket (port N: reason)") when the port cannot
    // be had.
    OSCReceiveSocket(int port, int wakeFd);
    ~OSCReceiveSocket();
    OSCReceiveSocket(const OSCReceiveSocket&) = delete;
    OSCReceiveSocket& operator=(const OSCReceiveSocket&) = delete;

    // The receive task: hands every datagram that arrives to the listener, one at a time, until
    // the wake-up descriptor is readable (at once when it already is). Throws
    // std::runtime_error when the socket fails.
    void Run(PacketListener& listener);

private:
    int m_socket = -1;
    int m_wake; // the owner's eventfd
    std::unique_ptr<char[]> m_buffer;
};

} // namespace TW
