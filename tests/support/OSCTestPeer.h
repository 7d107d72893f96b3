// A UDP endpoint on 127.0.0.1 for OSC tests: receives replies and sends packets built with
// oscpack. Not a server of ours: it only reads what arrives.
#pragma once

#include <oscpack/osc/OscOutboundPacketStream.h>
#include <oscpack/osc/OscReceivedElements.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace TW
{
class OSCHelper;
}

namespace TarnTest
{

// One received packet, with its bytes kept.
struct OSCPacket
{
    std::vector<char> bytes;
    bool IsBundle() const;
    // The time tag of a bundle.
    osc::uint64 TimeTag() const;
    // The messages of the packet in order (a bundle's, recursively; or the message itself).
    std::vector<osc::ReceivedMessage> Messages() const;
};

class OSCTestPeer
{
public:
    // Binds a free port on 127.0.0.1.
    OSCTestPeer();
    ~OSCTestPeer();
    OSCTestPeer(const OSCTestPeer&) = delete;
    OSCTestPeer& operator=(const OSCTestPeer&) = delete;

    int Port() const noexcept { return m_port; }
    // "osc.udp://127.0.0.1:PORT"
    std::string URL() const;

    // The next packet within the timeout, or nothing.
    std::optional<OSCPacket> Receive(std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Every packet that arrives until none has come for quiet.
    std::vector<OSCPacket>
    ReceiveAll(std::chrono::milliseconds quiet = std::chrono::milliseconds(300));

    // Sends bytes to 127.0.0.1:port from this peer's socket.
    void SendTo(int port, const char* data, std::size_t size);

private:
    int m_fd = -1;
    int m_port = 0;
};

// A free UDP port on 127.0.0.1 (free when asked; the caller binds it soon after).
int FreeUDPPort();
// A port p such that p and p + 1 .. p + span are all free now.
int FreeUDPPortRange(int span);

// Builds one OSC message (or a bundle of messages) with oscpack, in a buffer of its own.
class OSCPacketBuilder
{
public:
    OSCPacketBuilder() : m_stream(m_buffer, sizeof m_buffer) {}
    osc::OutboundPacketStream& operator*() { return m_stream; }
    osc::OutboundPacketStream* operator->() { return &m_stream; }
    const char* Data() const { return m_stream.Data(); }
    int Size() const { return static_cast<int>(m_stream.Size()); }

private:
    char m_buffer[8192];
    osc::OutboundPacketStream m_stream;
};

// Hands one packet to the server as if it came from a remote peer, and returns what the server
// printed on standard output meanwhile.
std::string HandleOSCPacket(TW::OSCHelper& osc, const OSCPacketBuilder& packet);
// The line the server prints when it refuses a message to address for the reason text.
std::string OSCParseError(const char* address, const std::string& text);

} // namespace TarnTest
