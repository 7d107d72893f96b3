// The UDP socket on which the OSC server receives: any datagram up to the largest UDP payload is
// read whole into a 64 KiB buffer and handed to a packet listener, and the receive loop can be
// ended at any moment from any thread.
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

    // The receive task: an IPv4 UDP socket bound to every local address and this port. Throws
    // std::runtime_error ("unable to bind udp socket (port N: reason)") when the port cannot
    // be had.
    explicit OSCReceiveSocket(int port);
    ~OSCReceiveSocket();
    OSCReceiveSocket(const OSCReceiveSocket&) = delete;
    OSCReceiveSocket& operator=(const OSCReceiveSocket&) = delete;

    // The receive task: hands every datagram that arrives to the listener, one at a time, until
    // Break. Returns at once when Break came earlier. Throws std::runtime_error when the socket
    // fails.
    void Run(PacketListener& listener);
    // Any thread: ends Run now, or the next Run at its start. Takes no lock.
    void Break() noexcept;

private:
    int m_socket = -1;
    int m_wake = -1; // an eventfd, readable once Break has been called
    std::unique_ptr<char[]> m_buffer;
};

} // namespace TW
