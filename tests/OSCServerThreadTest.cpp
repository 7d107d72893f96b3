// The OSC server with every thread busy at once: the receive task handling a stream of sets,
// subscriptions and notes from the network, the notify task pushing changes, the render thread
// rendering and taking the notes, parameter writers on two more threads, and port changes.
// Run under ThreadSanitizer as well.
#include "osc/OSCHelper.h"
#include "support/OSCTestPeer.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using TarnTest::OSCPacketBuilder;
using TarnTest::OSCTestPeer;

TEST(OSCServerThreads, ReceiveNotifyRenderAndWritersAllBusy)
{
#if defined(__SANITIZE_THREAD__)
    constexpr int kRounds = 300;
#else
    constexpr int kRounds = 1500;
#endif
    TarnTest::TestInstance synth;
    TW::OSCHelper& osc = synth->OSC();
    const int port = TarnTest::FreeUDPPort();
    osc.SetPort(port);
    for (int i = 0; i < 300 && osc.GetListeningPort() != port; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(osc.GetListeningPort(), port);

    OSCTestPeer subscriber;
    OSCTestPeer sender;
    {
        OSCPacketBuilder p;
        *p << osc::BeginMessage("/registerUpdate") << osc::int32(139) << subscriber.URL().c_str()
           << "/cutoff" << osc::EndMessage;
        sender.SendTo(port, p.Data(), static_cast<std::size_t>(p.Size()));
    }

    std::atomic<bool> stop{false};
    std::atomic<long> pushed{0};
    std::thread render(
        [&]
        {
            while (!stop.load())
            {
                synth.Render(128);
                synth.ClearAudio();
            }
        });
    std::thread reader(
        [&]
        {
            while (!stop.load())
                if (subscriber.Receive(20ms))
                    pushed.fetch_add(1);
        });
    auto writer = [&](int id, float base)
    {
        for (int i = 0; !stop.load(); ++i)
        {
            synth->DispatchSetParameter(static_cast<TW::ParameterID>(id), TW::Scope::Global, 0,
                                        base + static_cast<float>(i % 100), 0);
            std::this_thread::sleep_for(200us);
        }
    };
    std::thread writerA(writer, 139, 1000.0f);
    std::thread writerB(writer, 140, 0.1f);

    for (int round = 0; round < kRounds; ++round)
    {
        OSCPacketBuilder p;
        *p << osc::BeginBundleImmediate << osc::BeginMessage("/set") << osc::int32(139)
           << static_cast<float>(2000 + round) << osc::EndMessage << osc::BeginMessage("/startNote")
           << osc::int32(48 + round % 24) << 0.8f << osc::EndMessage
           << osc::BeginMessage("/stopNote") << osc::int32(48 + round % 24) << 0.0f
           << osc::EndMessage << osc::EndBundle;
        sender.SendTo(port, p.Data(), static_cast<std::size_t>(p.Size()));
        if (round % 100 == 50)
        {
            // A port change in the middle of it all: the server reopens and goes on.
            osc.SetPort(port);
        }
        if (round % 8 == 0)
            std::this_thread::sleep_for(1ms);
    }
    // Let the last packets land, then stop everything while it is still busy.
    std::this_thread::sleep_for(200ms);
    stop.store(true);
    render.join();
    reader.join();
    writerA.join();
    writerB.join();
    osc.Disable();
    EXPECT_GT(pushed.load(), 0);
    synth->DoCleanup();
}
