// The OSC command set handled in-process: packets go straight to the server's packet handler,
// replies come back over UDP on 127.0.0.1, error lines are read from standard output.
#include "osc/OSCHelper.h"
#include "osc/TarnAddressParser.h"
#include "support/OSCTestPeer.h"
#include "support/TestInstance.h"

#include "scripting/TarnInstanceTracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using TarnTest::HandleOSCPacket;
using TarnTest::OSCPacketBuilder;
using TarnTest::OSCParseError;
using TarnTest::OSCTestPeer;
using TarnTest::TestInstance;

namespace
{

const IpEndpointName kRemote(IpEndpointName::ANY_ADDRESS, 9);

// Handles one message with the given arguments and returns what the server printed.
template <class... Args> std::string Send(TW::OSCHelper& osc, const char* address, Args... args)
{
    OSCPacketBuilder p;
    *p << osc::BeginMessage(address);
    ((*p << args), ...);
    *p << osc::EndMessage;
    return HandleOSCPacket(osc, p);
}

// The one message of a reply: a bundle with the immediate time tag holding one message.
osc::ReceivedMessage OnlyMessage(const TarnTest::OSCPacket& packet)
{
    EXPECT_TRUE(packet.IsBundle());
    EXPECT_EQ(packet.TimeTag(), 1u);
    auto messages = packet.Messages();
    EXPECT_EQ(messages.size(), 1u);
    return messages.front();
}

} // namespace

TEST(OSCCommands, SetRefusesBadIdsTypesCountsAndNonFiniteValues)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    const float before = synth->GetParameter(139);

    EXPECT_EQ(Send(osc, "/set", osc::int32(139), 5000.0f), "");
    EXPECT_EQ(synth->GetParameter(139), 5000.0f);

    EXPECT_EQ(Send(osc, "/set", osc::int32(181), 1.0f),
              OSCParseError("/set", "parameter id out of range in set"));
    EXPECT_EQ(Send(osc, "/set", osc::int32(-1), 1.0f),
              OSCParseError("/set", "parameter id out of range in set"));
    EXPECT_EQ(Send(osc, "/set", 1.0f, 1.0f), OSCParseError("/set", "wrong argument type"));
    EXPECT_EQ(Send(osc, "/set", osc::int32(139)), OSCParseError("/set", "missing argument"));
    EXPECT_EQ(Send(osc, "/set", osc::int32(139), 1.0f, 2.0f),
              OSCParseError("/set", "too many arguments"));
    // Non-finite values would poison the voices' filters and the effect for good.
    EXPECT_EQ(Send(osc, "/set", osc::int32(139), std::nanf("")),
              OSCParseError("/set", "value is not a finite number"));
    EXPECT_EQ(Send(osc, "/set", osc::int32(139), INFINITY),
              OSCParseError("/set", "value is not a finite number"));
    EXPECT_EQ(synth->GetParameter(139), 5000.0f);
    (void)before;

    // Unknown addresses are ignored silently.
    EXPECT_EQ(Send(osc, "/nothing", 1.0f), "");
}

TEST(OSCCommands, QueriesReplyWithOneImmediateBundleEach)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    OSCTestPeer peer;
    const std::string url = peer.URL();
    ASSERT_EQ(synth.Set(139, 2500.0f), TW::kNoErr);

    EXPECT_EQ(Send(osc, "/get", osc::int32(139), url.c_str(), "/value"), "");
    {
        auto packet = peer.Receive();
        ASSERT_TRUE(packet);
        osc::ReceivedMessage m = OnlyMessage(*packet);
        EXPECT_STREQ(m.AddressPattern(), "/value");
        osc::int32 id = 0;
        float value = 0;
        m.ArgumentStream() >> id >> value >> osc::EndMessage;
        EXPECT_EQ(id, 139);
        EXPECT_EQ(value, 2500.0f);
    }
    // A reserved id is in range; the store does not hold it, so it reads 0.
    const std::string bareURL = "127.0.0.1:" + std::to_string(peer.Port());
    EXPECT_EQ(Send(osc, "/get", osc::int32(20), bareURL.c_str(), "/v"), "");
    ASSERT_TRUE(peer.Receive());
    EXPECT_EQ(Send(osc, "/get", osc::int32(181), url.c_str(), "/v"),
              OSCParseError("/get", "parameter id out of range in get"));

    EXPECT_EQ(Send(osc, "/getInfo", osc::int32(139), url.c_str(), "/info"), "");
    {
        auto packet = peer.Receive();
        ASSERT_TRUE(packet);
        osc::ReceivedMessage m = OnlyMessage(*packet);
        osc::int32 id = 0, unit = 0;
        float lo = 0, hi = 0, def = 0;
        const char* name = nullptr;
        m.ArgumentStream() >> id >> lo >> hi >> def >> name >> unit >> osc::EndMessage;
        EXPECT_EQ(id, 139);
        EXPECT_EQ(lo, 50.0f);
        EXPECT_EQ(hi, 12000.0f);
        EXPECT_EQ(def, 1000.0f);
        EXPECT_STREQ(name, "Filter Cutoff");
        EXPECT_EQ(unit, 8);
    }
    EXPECT_EQ(Send(osc, "/getInfo", osc::int32(-3), url.c_str(), "/info"),
              OSCParseError("/getInfo", "parameter id out of range in getInfo"));

    EXPECT_EQ(Send(osc, "/getNumParameters", url.c_str(), "/n"), "");
    {
        auto packet = peer.Receive();
        ASSERT_TRUE(packet);
        osc::int32 n = 0;
        OnlyMessage(*packet).ArgumentStream() >> n >> osc::EndMessage;
        EXPECT_EQ(n, 181);
    }

    EXPECT_EQ(Send(osc, "/isParameterUsed", osc::int32(39), url.c_str(), "/used"), "");
    {
        auto packet = peer.Receive();
        ASSERT_TRUE(packet);
        osc::int32 id = 0;
        bool used = false;
        OnlyMessage(*packet).ArgumentStream() >> id >> used >> osc::EndMessage;
        EXPECT_EQ(id, 39);
        EXPECT_TRUE(used);
    }
    EXPECT_EQ(Send(osc, "/isParameterUsed", osc::int32(181), url.c_str(), "/used"),
              OSCParseError("/isParameterUsed", "parameter id out of range in isParameterUsed"));

    // Every id, one bundle each, in order.
    EXPECT_EQ(Send(osc, "/getAll", url.c_str(), "/all"), "");
    auto all = peer.ReceiveAll();
    ASSERT_EQ(all.size(), 181u);
    for (int i = 0; i < 181; ++i)
    {
        osc::int32 id = -1;
        float value = 0;
        OnlyMessage(all[static_cast<std::size_t>(i)]).ArgumentStream() >> id >> value >>
            osc::EndMessage;
        EXPECT_EQ(id, i);
        if (i == 139)
        {
            EXPECT_EQ(value, 2500.0f);
        }
    }

    // Reply addresses that cannot be used are refused with a message.
    EXPECT_EQ(Send(osc, "/get", osc::int32(1), "osc.udp://127.0.0.1", "/v"),
              OSCParseError("/get", "no valid port in reply URL \"osc.udp://127.0.0.1\""));
    EXPECT_EQ(Send(osc, "/getNumParameters", url.c_str()),
              OSCParseError("/getNumParameters", "missing argument"));
    // A reply larger than the 1024-byte buffer is lost with a message.
    const std::string longPath = "/" + std::string(1100, 'x');
    EXPECT_NE(Send(osc, "/getNumParameters", url.c_str(), longPath.c_str())
                  .find("error while parsing message: /getNumParameters: "),
              std::string::npos);
    EXPECT_FALSE(peer.Receive(std::chrono::milliseconds(100)));
}

TEST(OSCCommands, SubscriptionsAreKeptOnceAndPushEachChangeOnce)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    OSCTestPeer peer;
    const std::string url = peer.URL();

    EXPECT_EQ(Send(osc, "/registerUpdate", osc::int32(139), url.c_str(), "/upd"), "");
    EXPECT_EQ(Send(osc, "/registerUpdate", osc::int32(139), url.c_str(), "/upd"), "");
    ASSERT_EQ(synth.Set(139, 777.0f), TW::kNoErr);
    auto pushed = peer.ReceiveAll();
    ASSERT_EQ(pushed.size(), 1u);
    osc::int32 id = 0;
    float value = 0;
    OnlyMessage(pushed[0]).ArgumentStream() >> id >> value >> osc::EndMessage;
    EXPECT_EQ(id, 139);
    EXPECT_EQ(value, 777.0f);
    // Other parameters are not pushed.
    ASSERT_EQ(synth.Set(140, 0.5f), TW::kNoErr);
    EXPECT_TRUE(peer.ReceiveAll().empty());

    // "/getAllRegistered" answers every registration with the current value.
    EXPECT_EQ(Send(osc, "/registerUpdate", osc::int32(140), url.c_str(), "/q"), "");
    EXPECT_EQ(Send(osc, "/getAllRegistered"), "");
    auto registered = peer.ReceiveAll();
    ASSERT_EQ(registered.size(), 2u);
    EXPECT_STREQ(OnlyMessage(registered[0]).AddressPattern(), "/upd");
    EXPECT_STREQ(OnlyMessage(registered[1]).AddressPattern(), "/q");
    EXPECT_EQ(Send(osc, "/getAllRegistered", 1.0f),
              OSCParseError("/getAllRegistered", "too many arguments"));

    // A second Initialize keeps serving existing subscribers.
    synth->DoCleanup();
    ASSERT_EQ(synth->DoInitialize(), TW::kNoErr);
    ASSERT_EQ(synth.Set(139, 778.0f), TW::kNoErr);
    EXPECT_EQ(peer.ReceiveAll().size(), 1u);

    EXPECT_EQ(Send(osc, "/unregisterUpdate", osc::int32(139), url.c_str(), "/upd"), "");
    ASSERT_EQ(synth.Set(139, 779.0f), TW::kNoErr);
    EXPECT_TRUE(peer.ReceiveAll().empty());
    EXPECT_EQ(Send(osc, "/unregisterUpdate", osc::int32(200), url.c_str(), "/upd"),
              OSCParseError("/unregisterUpdate", "parameter id out of range in registerUpdate"));
    EXPECT_EQ(Send(osc, "/registerUpdate", osc::int32(181), url.c_str(), "/upd"),
              OSCParseError("/registerUpdate", "parameter id out of range in registerUpdate"));
}

namespace
{

struct QueueSpy : TarnRenderObserver
{
    std::vector<TW::MessageQueueItem> items;
    void OnRenderSlice(unsigned) override {}
    void OnQueueItem(const TW::MessageQueueItem& item) override { items.push_back(item); }
};

} // namespace

TEST(OSCCommands, NotesGoToTheRenderThreadOnChannelOneWithTheVelocityByte)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    QueueSpy spy;
    synth->SetRenderObserver(&spy);

    EXPECT_EQ(Send(osc, "/startNote", osc::int32(60), 0.5f), "");
    EXPECT_EQ(Send(osc, "/stopNote", osc::int32(60 + 256), 1.0f), "");
    // Nothing is played from the receiving thread: the notes wait for the next render call.
    EXPECT_TRUE(spy.items.empty());
    synth.Render(64);
    synth->SetRenderObserver(nullptr);
    ASSERT_EQ(spy.items.size(), 2u);
    EXPECT_EQ(spy.items[0].m_status, 0x90);
    EXPECT_EQ(spy.items[0].m_channel, 1);
    EXPECT_EQ(spy.items[0].m_data1, 60);
    EXPECT_EQ(spy.items[0].m_data2, 63); // 0.5 * 127 truncated
    EXPECT_EQ(spy.items[0].m_frame, 0u);
    EXPECT_EQ(spy.items[1].m_status, 0x80);
    EXPECT_EQ(spy.items[1].m_data1, 60); // low 8 bits
    EXPECT_EQ(spy.items[1].m_data2, 127);

    EXPECT_EQ(Send(osc, "/startNote", osc::int32(60)),
              OSCParseError("/startNote", "missing argument"));
    EXPECT_EQ(Send(osc, "/startNote", osc::int32(60), std::nanf("")),
              OSCParseError("/startNote", "value is not a finite number"));
}

TEST(OSCCommands, TouchFramesAreConsumedWhole)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    const float before = synth->GetParameter(139);

    OSCPacketBuilder frame;
    *frame << osc::BeginBundleImmediate << osc::BeginMessage("/t3d/frm") << osc::int32(1)
           << osc::EndMessage << osc::BeginMessage("/t3d/tch3") << 0.1f << 0.2f << 0.3f << 0.4f
           << osc::EndMessage << osc::BeginMessage("/set") << osc::int32(139) << 321.0f
           << osc::EndMessage << osc::EndBundle;
    testing::internal::CaptureStdout();
    osc.HandlePacket(frame.Data(), frame.Size(), kRemote);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(synth->GetParameter(139), before);

    // A touch without its four floats is reported; the frame is still consumed.
    OSCPacketBuilder bad;
    *bad << osc::BeginBundleImmediate << osc::BeginMessage("/t3d/frm") << osc::EndMessage
         << osc::BeginMessage("/t3d/tch16") << 0.1f << osc::EndMessage << osc::BeginMessage("/set")
         << osc::int32(139) << 321.0f << osc::EndMessage << osc::EndBundle;
    testing::internal::CaptureStdout();
    osc.HandlePacket(bad.Data(), bad.Size(), kRemote);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "error while parsing message: missing argument\n");
    EXPECT_EQ(synth->GetParameter(139), before);

    // Any other bundle runs its messages in order, nested bundles included.
    OSCPacketBuilder plain;
    *plain << osc::BeginBundleImmediate << osc::BeginMessage("/set") << osc::int32(139) << 100.0f
           << osc::EndMessage << osc::BeginBundleImmediate << osc::BeginMessage("/set")
           << osc::int32(139) << 200.0f << osc::EndMessage << osc::EndBundle << osc::EndBundle;
    osc.HandlePacket(plain.Data(), plain.Size(), kRemote);
    EXPECT_EQ(synth->GetParameter(139), 200.0f);
}

TEST(OSCCommands, MalformedPacketsChangeNothingAndTheServerGoesOn)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    // A bundle whose second message is cut short: the first is not applied either.
    OSCPacketBuilder p;
    *p << osc::BeginBundleImmediate << osc::BeginMessage("/set") << osc::int32(139) << 100.0f
       << osc::EndMessage << osc::BeginMessage("/set") << osc::int32(139) << 200.0f
       << osc::EndMessage << osc::EndBundle;
    std::vector<char> bytes(p.Data(), p.Data() + p.Size());
    // The second message's type tags ",if" become ",ib": a blob whose size runs past the end.
    ASSERT_EQ(bytes[54], 'f');
    bytes[54] = 'b';
    const float before = synth->GetParameter(139);
    testing::internal::CaptureStdout();
    osc.HandlePacket(bytes.data(), static_cast<int>(bytes.size()), kRemote);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("error while parsing message: ", 0), 0u) << out;
    EXPECT_EQ(synth->GetParameter(139), before);

    // Blob sizes that oscpack would follow far outside the packet, an address whose padding is
    // not zeros (oscpack then reads the type tags from elsewhere), and bundle elements of
    // negative or zero size (oscpack stayed on a negative one for ever); found by fuzzing.
    const char hugeBlob[] = {'/', 'a', 0, 0, ',', 'b', 'b', 0, '\xff', '\xff', '\xff', '\xff'};
    const char negativeElement[] = {'#', 'b', 'u', 'n', 'd', 'l', 'e',    0,      0,      0,
                                    0,   0,   0,   0,   0,   1,   '\xff', '\xff', '\xff', '\xfc'};
    const char emptyElement[] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0,
                                 0,   0,   0,   0,   0,   1,   0,   0, 0, 0};
    const char badPadding[] = {'/', 'p', 'a', 0x1f, 6,      'q',    '\xfd', '\xfe', 0x7f, 0,
                               0,   'i', 'r', 0,    0,      0,      ',',    'c',    'b',  0,
                               0,   0,   0,   0,    '\xff', '\xff', '\xff', '\xff'};
    for (const auto& [bytes, length] : {std::pair<const char*, int>{hugeBlob, 12},
                                        {badPadding, 28},
                                        {negativeElement, 20},
                                        {emptyElement, 20}})
    {
        testing::internal::CaptureStdout();
        osc.HandlePacket(bytes, length, kRemote);
        EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("error while parsing message: ", 0),
                  0u);
    }

    const char garbage[] = {'/', 's', 'e', 't', 0, 0, 0, 0, ',', 'i', 'f', 0, 1, 2};
    testing::internal::CaptureStdout();
    osc.HandlePacket(garbage, sizeof garbage, kRemote);
    EXPECT_NE(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(synth->GetParameter(139), before);
}

TEST(OSCCommands, TarnAddressesReachInstancesByNumberAndName)
{
    TestInstance a, b;
    const std::uint32_t guidA = TarnInstanceTracker::GetGUID(a.get());
    const std::uint32_t guidB = TarnInstanceTracker::GetGUID(b.get());
    TW::OSCHelper& osc = a->OSC();

    const std::string toB = "/tarn/" + std::to_string(guidB) + "/139";
    EXPECT_EQ(Send(osc, toB.c_str(), 4000.0f), "");
    EXPECT_EQ(b->GetParameter(139), 4000.0f);
    EXPECT_NE(a->GetParameter(139), 4000.0f);

    EXPECT_EQ(Send(osc, "/tarn/Velluna/*/140", 0.25f), "");
    EXPECT_EQ(a->GetParameter(140), 0.25f);
    EXPECT_EQ(b->GetParameter(140), 0.25f);

    // Two groups with counts: offsets 2 and 3 are added to parameter 7.
    const std::string multi =
        "/tarn/+multi1/" + std::to_string(guidA) + "/7/3/" + std::to_string(guidB) + "/7/4";
    EXPECT_EQ(Send(osc, multi.c_str(), 0.5f, -0.5f), "");
    EXPECT_EQ(a->GetParameter(9), 0.5f);
    EXPECT_EQ(b->GetParameter(10), -0.5f);

    // Malformed addresses name themselves; a bad value in any group changes nothing.
    EXPECT_EQ(Send(osc, "/tarn/+multi2/1/7/3", 1.0f),
              OSCParseError("/tarn/+multi2/1/7/3", "/tarn/+multi2/1/7/3"));
    EXPECT_EQ(Send(osc, "/tarn/Velluna/x/7", 1.0f),
              OSCParseError("/tarn/Velluna/x/7", "/tarn/Velluna/x/7"));
    EXPECT_EQ(Send(osc, toB.c_str()), OSCParseError(toB.c_str(), "missing argument"));
    EXPECT_EQ(Send(osc, toB.c_str(), osc::int32(3)),
              OSCParseError(toB.c_str(), "wrong argument type"));
    EXPECT_EQ(Send(osc, multi.c_str(), 0.75f, std::nanf("")),
              OSCParseError(multi.c_str(), "value is not a finite number"));
    EXPECT_EQ(a->GetParameter(9), 0.5f);
}

TEST(OSCCommands, TarnAddressParsing)
{
    std::vector<TW::TarnAddressGroup> g;
    ASSERT_TRUE(TW::ParseTarnAddress("2/5", g));
    ASSERT_EQ(g.size(), 1u);
    EXPECT_FALSE(g[0].hasInstanceName);
    EXPECT_EQ(g[0].instanceNumber, 2);
    EXPECT_EQ(g[0].parameterId, 5);
    EXPECT_EQ(g[0].parameterOffset, 0);

    ASSERT_TRUE(TW::ParseTarnAddress("+multi1/1/7/3/2/7/4", g));
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].instanceNumber, 1);
    EXPECT_EQ(g[0].parameterOffset, 2);
    EXPECT_EQ(g[1].instanceNumber, 2);
    EXPECT_EQ(g[1].parameterId, 7);
    EXPECT_EQ(g[1].parameterOffset, 3);

    ASSERT_TRUE(TW::ParseTarnAddress("Velluna/*/Volume/Velluna/2/0", g));
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].instanceName, "Velluna");
    EXPECT_EQ(g[0].instanceNumber, -1);
    EXPECT_TRUE(g[0].hasParameterName);
    EXPECT_EQ(g[0].parameterName, "Volume");
    EXPECT_EQ(g[0].parameterId, -1);
    EXPECT_EQ(g[1].instanceNumber, 2);
    EXPECT_EQ(g[1].parameterId, 0);

    for (const char* bad : {"", "2", "2/", "2/5/", "Velluna/2", "Velluna//3", "2x/5", "2/5x",
                            "+multi1", "+multi1/1/7", "+other/1/2", "99999999999/1"})
        EXPECT_FALSE(TW::ParseTarnAddress(bad, g)) << bad;
}

TEST(OSCCommands, ParameterPathsScaleAndSetEveryRegistration)
{
    TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    // Normalized "Filter Cutoff": 0.5 maps to 50 + 0.5 * (12000 - 50).
    ASSERT_TRUE(osc.AddParameterPath("/cut", {{139, 50.0f, 11950.0f}}));
    EXPECT_EQ(Send(osc, "/cut", 0.5f), "");
    EXPECT_EQ(synth->GetParameter(139), 6025.0f);
    // A registration of another length is refused and the first binding stays.
    EXPECT_FALSE(osc.AddParameterPath("/cut", {{1, 0.0f, 1.0f}, {2, 0.0f, 1.0f}}));
    EXPECT_EQ(Send(osc, "/cut", 0.0f, 1.0f), OSCParseError("/cut", "too many arguments"));

    // Two registrations of one path: one message sets both.
    ASSERT_TRUE(osc.AddParameterPath("/two", {{1, 0.0f, 1.0f}}));
    ASSERT_TRUE(osc.AddParameterPath("/two", {{2, 0.0f, 1.0f}}));
    EXPECT_EQ(Send(osc, "/two", 0.3f), "");
    EXPECT_EQ(synth->GetParameter(1), 0.3f);
    EXPECT_EQ(synth->GetParameter(2), 0.3f);

    // A registered path takes over a command address.
    ASSERT_TRUE(osc.AddParameterPath("/set", {{3, 0.0f, 1.0f}}));
    EXPECT_EQ(Send(osc, "/set", 0.125f), "");
    EXPECT_EQ(synth->GetParameter(3), 0.125f);

    EXPECT_EQ(Send(osc, "/two", INFINITY), OSCParseError("/two", "value is not a finite number"));
    EXPECT_EQ(Send(osc, "/cut", 1e38f), OSCParseError("/cut", "value is not a finite number"));
    EXPECT_EQ(Send(osc, "/two", osc::int32(1)), OSCParseError("/two", "wrong argument type"));
    EXPECT_EQ(synth->GetParameter(1), 0.3f);
    EXPECT_EQ(synth->GetParameter(139), 6025.0f);
}

TEST(OSCCommands, ReplyAddressParsing)
{
    auto parse = [](const char* url, int& port)
    {
        static char buffer[256];
        std::strncpy(buffer, url, sizeof buffer - 1);
        return std::string(TW::OSCHelper::ParseAddress(buffer, port));
    };
    int port = 0;
    EXPECT_EQ(parse("osc.udp://host.example:9000", port), "host.example");
    EXPECT_EQ(port, 9000);
    EXPECT_EQ(parse("10.0.0.2:57120/", port), "10.0.0.2");
    EXPECT_EQ(port, 57120);
    EXPECT_EQ(parse("localhost", port), "localhost");
    EXPECT_EQ(port, -1);
    EXPECT_EQ(parse("localhost:http", port), "localhost");
    EXPECT_EQ(port, -1);
    EXPECT_EQ(parse("localhost:99999", port), "localhost");
    EXPECT_EQ(port, -1);
}
