// The OSC server's sockets: when it listens, on which port, how port changes, failed binds and
// rapid changes are handled, "/ping" over the network, and the advertisement through Avahi.
#include "core/VellunaVersion.h"
#include "osc/OSCHelper.h"
#include "support/OSCTestPeer.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using TarnTest::OSCPacketBuilder;
using TarnTest::OSCTestPeer;
using TarnTest::TestInstance;

namespace
{

// Waits until the server listens on port (0: until it listens on none).
bool WaitForListening(TW::OSCHelper& osc, int port, std::chrono::milliseconds limit = 3000ms)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end)
    {
        if (osc.GetListeningPort() == port)
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return osc.GetListeningPort() == port;
}

// Whether some socket is bound to the UDP port now.
bool PortInUse(int port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool inUse = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0;
    close(fd);
    return inUse;
}

// Asks the server at port for parameter 0 and says whether it answered.
bool Answers(OSCTestPeer& peer, int port)
{
    OSCPacketBuilder p;
    *p << osc::BeginMessage("/get") << osc::int32(0) << peer.URL().c_str() << "/v"
       << osc::EndMessage;
    peer.SendTo(port, p.Data(), static_cast<std::size_t>(p.Size()));
    return peer.Receive(1500ms).has_value();
}

} // namespace

TEST(OSCServer, ListensOnBasePlusOffsetAndMovesWithIt)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    // Off by default: no socket at all.
    EXPECT_EQ(synth->GetParameter(180), 0.0f);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(osc.GetListeningPort(), 0);

    const int base = TarnTest::FreeUDPPortRange(4);
    g_OSCBasePort.store(base);
    OSCTestPeer peer;
    ASSERT_EQ(synth.Set(180, 3.0f), TW::kNoErr);
    ASSERT_TRUE(WaitForListening(osc, base + 3));
    EXPECT_TRUE(Answers(peer, base + 3));

    // 3 to 4: the old port is closed, the new one answers.
    ASSERT_EQ(synth.Set(180, 4.7f), TW::kNoErr);
    ASSERT_TRUE(WaitForListening(osc, base + 4));
    EXPECT_FALSE(PortInUse(base + 3));
    EXPECT_TRUE(Answers(peer, base + 4));

    // 0.4 truncates to 0: silent, the port is free.
    ASSERT_EQ(synth.Set(180, 0.4f), TW::kNoErr);
    ASSERT_TRUE(WaitForListening(osc, 0));
    EXPECT_FALSE(PortInUse(base + 4));
    EXPECT_FALSE(Answers(peer, base + 4));

    // The port set survives Cleanup and Initialize: listening resumes with the tasks.
    ASSERT_EQ(synth.Set(180, 2.0f), TW::kNoErr);
    ASSERT_TRUE(WaitForListening(osc, base + 2));
    synth->DoCleanup();
    EXPECT_EQ(osc.GetListeningPort(), 0);
    EXPECT_FALSE(PortInUse(base + 2));
    ASSERT_EQ(synth->DoInitialize(), TW::kNoErr);
    g_OSCBasePort.store(base);
    EXPECT_TRUE(WaitForListening(osc, base + 2));
    ASSERT_EQ(synth.Set(180, 0.0f), TW::kNoErr);
}

TEST(OSCServer, AFailedBindSaysWhyOnceAndStaysSilentUntilTheNextChange)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    OSCTestPeer taken; // holds its port
    testing::internal::CaptureStdout();
    osc.SetPort(taken.Port());
    std::this_thread::sleep_for(300ms);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(said, "std::runtime_error in TaskMain(): unable to bind udp socket (port " +
                        std::to_string(taken.Port()) + ": Address already in use)\n");
    EXPECT_EQ(osc.GetListeningPort(), 0);

    const int free = TarnTest::FreeUDPPort();
    osc.SetPort(free);
    EXPECT_TRUE(WaitForListening(osc, free));
    osc.Disable();
    EXPECT_TRUE(WaitForListening(osc, 0));
}

TEST(OSCServer, NoInterruptionIsLostInRapidChanges)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    const int base = TarnTest::FreeUDPPortRange(3);
    // Changes arrive while the receive task is between binding and starting its loop; the last
    // one must always win.
    for (int round = 0; round < 60; ++round)
    {
        osc.SetPort(base + round % 3);
        if (round % 4 == 0)
            osc.Disable();
        if (round % 5 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 7)));
    }
    osc.SetPort(base + 1);
    EXPECT_TRUE(WaitForListening(osc, base + 1));
    osc.SetPort(base + 2);
    osc.Disable();
    EXPECT_TRUE(WaitForListening(osc, 0));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(osc.GetListeningPort(), 0);
    for (int k = 0; k < 3; ++k)
        EXPECT_FALSE(PortInUse(base + k)) << k;
}

TEST(OSCServer, DatagramsUpToTheUdpMaximumArriveWholeAndOnlyMalformedOnesAreRefused)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    const int port = TarnTest::FreeUDPPort();
    osc.SetPort(port);
    ASSERT_TRUE(WaitForListening(osc, port));
    OSCTestPeer peer;
    // A bundle of many "/set" messages of which only the last counts, then a message to an
    // address nobody handles carrying a long string, then "/get": every part past the first
    // few kilobytes has to arrive for the reply to name the last value.
    for (const std::size_t padding : {std::size_t{0}, std::size_t{54000}})
    {
        std::vector<char> buffer(65507);
        osc::OutboundPacketStream p(buffer.data(), buffer.size());
        p << osc::BeginBundleImmediate;
        const int sets = 430;
        for (int k = 0; k < sets; ++k)
            p << osc::BeginMessage("/set") << osc::int32(1) << static_cast<float>(k) / sets
              << osc::EndMessage;
        const std::string pad(padding, 'x');
        if (padding)
            p << osc::BeginMessage("/nobody/reads/this") << pad.c_str() << osc::EndMessage;
        p << osc::BeginMessage("/get") << osc::int32(1) << peer.URL().c_str() << "/v"
          << osc::EndMessage << osc::EndBundle;
        ASSERT_GT(p.Size(), padding ? 60000u : 10000u);
        peer.SendTo(port, p.Data(), p.Size());
        const auto reply = peer.Receive();
        ASSERT_TRUE(reply.has_value()) << p.Size() << " bytes";
        auto args = reply->Messages().at(0).ArgumentsBegin();
        ++args;
        EXPECT_FLOAT_EQ(args->AsFloat(), static_cast<float>(sets - 1) / sets) << p.Size();
    }

    // A large packet that is not OSC is refused with one parse-error line, and the server goes
    // on answering.
    testing::internal::CaptureStdout();
    const std::vector<char> ragged(6001, '\0');
    peer.SendTo(port, ragged.data(), ragged.size());
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(Answers(peer, port));
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(said.rfind("error while parsing message: ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST(OSCServer, PingNamesTheAddressAndPortThatReachTheRequester)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    const int port = TarnTest::FreeUDPPort();
    osc.SetPort(port);
    ASSERT_TRUE(WaitForListening(osc, port));
    OSCTestPeer peer;
    OSCPacketBuilder p;
    *p << osc::BeginMessage("/ping") << peer.URL().c_str() << "/pong" << osc::EndMessage;
    peer.SendTo(port, p.Data(), static_cast<std::size_t>(p.Size()));
    auto reply = peer.Receive();
    ASSERT_TRUE(reply);
    auto messages = reply->Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_STREQ(messages[0].AddressPattern(), "/pong");
    const char* self = nullptr;
    const char* product = nullptr;
    messages[0].ArgumentStream() >> self >> product >> osc::EndMessage;
    EXPECT_EQ(std::string(self), "osc.udp://127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(std::string(product), std::string("Velluna ") + Tarn::kVersionString);
    osc.Disable();
}

namespace
{

// avahi-browse's resolved lines for _osc._udp ("=;lo;IPv4;NAME;_osc._udp;local;HOST;ADDR;PORT;").
std::vector<std::string> Browse()
{
    std::vector<std::string> lines;
    FILE* pipe = popen("timeout 10 avahi-browse -rpt _osc._udp 2>/dev/null", "r");
    if (!pipe)
        return lines;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe))
        if (line[0] == '=')
            lines.emplace_back(line);
    pclose(pipe);
    return lines;
}

bool AvahiRunning()
{
    FILE* pipe = popen("dbus-send --system --print-reply --dest=org.freedesktop.Avahi / "
                       "org.freedesktop.Avahi.Server.GetState 2>/dev/null",
                       "r");
    if (!pipe)
        return false;
    char line[256];
    bool running = false;
    while (std::fgets(line, sizeof line, pipe))
        running = running || std::strstr(line, "int32 2") != nullptr;
    pclose(pipe);
    return running;
}

// The name as avahi-browse -p writes it: spaces and dots escaped.
std::string Escaped(const std::string& name)
{
    std::string out;
    for (char c : name)
        if (c == ' ')
            out += "\\032";
        else if (c == '.')
            out += "\\.";
        else
            out += c;
    return out;
}

bool Advertised(const std::string& name, int port)
{
    const std::string want = ";" + Escaped(name) + ";_osc._udp;";
    const std::string portField = ";" + std::to_string(port) + ";";
    for (const std::string& line : Browse())
        if (line.find(want) != std::string::npos && line.find(portField) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(OSCServer, AdvertisedWhileListeningAndWithdrawnWhenOff)
{
    if (!AvahiRunning())
        GTEST_SKIP() << "no Avahi daemon answers on the system bus (scripts/start-avahi starts "
                        "one)";
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    const int base = TarnTest::FreeUDPPortRange(2);
    g_OSCBasePort.store(base);
    ASSERT_EQ(synth.Set(180, 1.0f), TW::kNoErr);
    ASSERT_TRUE(WaitForListening(osc, base + 1));

    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string name = std::string("Velluna ") + Tarn::kVersionString + " on " + host;
    EXPECT_EQ(osc.ServiceName(), name);
    bool found = false;
    for (int attempt = 0; attempt < 60 && !found; ++attempt)
    {
        found = Advertised(osc.AdvertisedName(), base + 1);
        if (!found)
            std::this_thread::sleep_for(250ms);
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(osc.AdvertisedName().rfind(name, 0), 0u) << osc.AdvertisedName();

    // A new port is advertised anew.
    ASSERT_EQ(synth.Set(180, 2.0f), TW::kNoErr);
    ASSERT_TRUE(WaitForListening(osc, base + 2));
    found = false;
    for (int attempt = 0; attempt < 60 && !found; ++attempt)
    {
        found = Advertised(osc.AdvertisedName(), base + 2);
        if (!found)
            std::this_thread::sleep_for(250ms);
    }
    EXPECT_TRUE(found);

    const std::string last = osc.AdvertisedName();
    ASSERT_EQ(synth.Set(180, 0.0f), TW::kNoErr);
    ASSERT_TRUE(WaitForListening(osc, 0));
    EXPECT_EQ(osc.AdvertisedName(), "");
    bool gone = false;
    for (int attempt = 0; attempt < 60 && !gone; ++attempt)
    {
        gone = !Advertised(last, base + 2) && !Advertised(last, base + 1);
        if (!gone)
            std::this_thread::sleep_for(250ms);
    }
    EXPECT_TRUE(gone);
}
