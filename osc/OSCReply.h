// Replies and other outgoing OSC traffic: each is one bundle with the immediate time tag holding
// one message, built in a 1024-byte buffer and sent from a UDP socket of its own.
#pragma once

#include <oscpack/ip/IpEndpointName.h>
#include <oscpack/ip/UdpSocket.h>
#include <oscpack/osc/OscException.h>
#include <oscpack/osc/OscOutboundPacketStream.h>

#include <cstddef>
#include <string>

namespace TW
{

// An OSC error whose text is made at run time (oscpack's own exceptions keep only a pointer).
class OSCError : public osc::Exception
{
public:
    explicit OSCError(std::string text) : m_text(std::move(text)) {}
    const char* what() const noexcept override { return m_text.c_str(); }

private:
    std::string m_text;
};

// Resolves a reply URL: an optional "osc.udp://", a host name or dotted IPv4 address, ':' and a
// decimal port; only its first 1023 characters count. Throws OSCError when the host cannot be
// resolved or the port is missing or out of range. Any thread; may wait for name resolution.
IpEndpointName ResolveOSCURL(const char* url);

// The IPv4 address this machine would use as its own when sending to remote (host byte order).
// Throws OSCError when there is no route. Any thread.
unsigned long LocalAddressTowards(const IpEndpointName& remote);

// "a.b.c.d" for an address in host byte order.
std::string DottedAddress(unsigned long address);

class OSCReply
{
public:
    static constexpr std::size_t kBufferSize = 1024;

    // Begins the bundle and the message at path. Throws osc::Exception when it does not fit.
    explicit OSCReply(const char* path);

    OSCReply(const OSCReply&) = delete;
    OSCReply& operator=(const OSCReply&) = delete;

    // The message's arguments go here.
    osc::OutboundPacketStream& Args() noexcept { return m_stream; }

    // Closes the message and the bundle and sends them from a new socket, or on socket.
    // Throws osc::Exception when the packet outgrows the buffer, std::runtime_error when the
    // socket fails.
    void SendTo(const IpEndpointName& endpoint);
    void SendOn(UdpTransmitSocket& socket);

private:
    void Finish();

    char m_buffer[kBufferSize];
    osc::OutboundPacketStream m_stream;
};

} // namespace TW
