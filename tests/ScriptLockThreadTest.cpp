// The render thread never waits for the script lock: while another thread holds it, queued MIDI
// waits in order and is handled at the start of a later block, and past the wait bound it is
// played without its script handlers. Another thread holds the lock here, as a timer script or
// an OSC "/exec" would. Run under ThreadSanitizer as well.
#include "platform/LogRing.h"
#include "support/LuaTestSupport.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace TarnTest;
using namespace std::chrono_literals;

namespace
{

// Holds an instance's script lock on a thread of its own until Release.
class LockHolder
{
public:
    explicit LockHolder(TW::LuaMIDIHelper& lua)
        : m_thread(
              [this, &lua]
              {
                  std::lock_guard<std::recursive_mutex> lock(lua.GetScriptLock());
                  m_held = true;
                  while (!m_release)
                      std::this_thread::sleep_for(1ms);
              })
    {
        while (!m_held)
            std::this_thread::sleep_for(1ms);
    }
    ~LockHolder() { Release(); }
    void Release()
    {
        m_release = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_held{false};
    std::atomic<bool> m_release{false};
    std::thread m_thread;
};

// What the block renderer does: "r<frames>" per slice, "<status hex><data 1>@<frame>" per item.
class Trace : public TarnRenderObserver
{
public:
    void OnRenderSlice(unsigned frames) override { steps.push_back("r" + std::to_string(frames)); }
    void OnQueueItem(const TW::MessageQueueItem& item) override
    {
        char text[32];
        std::snprintf(text, sizeof text, "%X:%d@%u", item.m_status, item.m_data1, item.m_frame);
        steps.push_back(text);
    }
    std::vector<std::string> Take() { return std::exchange(steps, {}); }
    std::vector<std::string> steps;
};

bool Silent(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i)
        if (samples[i] != 0.0f)
            return false;
    return true;
}

const char* const kRecordingScript =
    "seen = ''\n"
    "requestAllNoteOn(function(c, n, v) seen = seen .. ' on' .. n end)\n"
    "requestAllNoteOff(function(c, n, v) seen = seen .. ' off' .. n end)\n"
    "requestAllCC(function(c, n, v) seen = seen .. ' cc' .. n end)\n";

TEST(ScriptLockThreadTest, EventsWaitInOrderAndAreHandledOnceTheLockIsFree)
{
    ScratchDataHome home;
    home.AddScript("midi.lua", kRecordingScript);
    TestInstance synth;
    TW::LuaMIDIHelper& lua = synth->LuaHelper();
    Trace trace;
    synth->SetRenderObserver(&trace);

    LockHolder holder(lua);
    ASSERT_EQ(synth->MidiEvent(0x90, 60, 100, 10), TW::kNoErr);
    ASSERT_EQ(synth->MidiEvent(0xB0, 7, 90, 20), TW::kNoErr);
    ASSERT_EQ(synth->MidiEvent(0x90, 64, 100, 30), TW::kNoErr);
    bool silent = false;
    // Returns although the lock is held: a wait here would never end.
    ASSERT_EQ(synth.Render(256, &silent), TW::kNoErr);
    EXPECT_TRUE(silent);
    EXPECT_EQ(synth->Engine().GetNumNotes(), 0);
    EXPECT_EQ(synth->GetWaitingEventCount(), 3u);
    // The block is still cut at the events' frames, but none is handed over.
    EXPECT_EQ(trace.Take(), (std::vector<std::string>{"r10", "r10", "r10", "r226"}));
    // Later events queue up behind the waiting ones.
    ASSERT_EQ(synth->MidiEvent(0x80, 60, 0, 5), TW::kNoErr);
    ASSERT_EQ(synth.Render(256, &silent), TW::kNoErr);
    EXPECT_TRUE(silent);
    EXPECT_EQ(synth->GetWaitingEventCount(), 4u);
    trace.Take();

    holder.Release();
    ASSERT_EQ(synth->MidiEvent(0x90, 67, 100, 100), TW::kNoErr);
    ASSERT_EQ(synth.Render(256, &silent), TW::kNoErr);
    // The waiting events first, at frame 0 and in order, then the new one at its frame.
    EXPECT_EQ(trace.Take(), (std::vector<std::string>{"90:60@0", "B0:7@0", "90:64@0", "80:60@0",
                                                      "r100", "90:67@100", "r156"}));
    EXPECT_EQ(LuaString(lua, "seen"), " on60 cc7 on64 off60 on67");
    EXPECT_EQ(synth->GetWaitingEventCount(), 0u);
    EXPECT_FALSE(silent);
    EXPECT_FALSE(Silent(synth.Left(), 512, 520)); // note 64 sounds from the block's start
    EXPECT_TRUE(Silent(synth.Left(), 0, 512));
    synth->SetRenderObserver(nullptr);
}

TEST(ScriptLockThreadTest, PastTheBoundEventsPlayWithoutScriptsOnceEachWithOneLine)
{
    ScratchDataHome home;
    home.AddScript("midi.lua", kRecordingScript);
    TestInstance synth(48000.0);
    TW::LuaMIDIHelper& lua = synth->LuaHelper();
    Trace trace;
    synth->SetRenderObserver(&trace);
    const auto boundFrames =
        static_cast<std::uint64_t>(48000.0 * TarnAdditiveSynth::kScriptWaitSeconds);

    testing::internal::CaptureStderr();
    {
        LockHolder holder(lua);
        ASSERT_EQ(synth->MidiEvent(0x90, 60, 100, 0), TW::kNoErr);
        ASSERT_EQ(synth->MidiEvent(0x90, 64, 100, 0), TW::kNoErr);
        std::uint64_t rendered = 0;
        // Before the bound has passed in rendered audio nothing is played.
        while (rendered + 256 <= boundFrames)
        {
            ASSERT_EQ(synth.Render(256), TW::kNoErr);
            rendered += 256;
            ASSERT_EQ(synth->Engine().GetNumNotes(), 0) << rendered;
        }
        ASSERT_EQ(synth.Render(256), TW::kNoErr);
        ASSERT_EQ(synth.Render(256), TW::kNoErr);
        // Both notes play, each once, at the start of the first block past the bound.
        EXPECT_EQ(synth->Engine().GetNumNotes(), 2);
        EXPECT_EQ(synth->GetWaitingEventCount(), 0u);
        std::vector<std::string> items;
        for (const std::string& s : trace.Take())
            if (s[0] != 'r')
                items.push_back(s);
        EXPECT_EQ(items, (std::vector<std::string>{"90:60@0", "90:64@0"}));

        // Until the lock is free, new events play at their own frames, without scripts.
        ASSERT_EQ(synth->MidiEvent(0x80, 60, 0, 40), TW::kNoErr);
        ASSERT_EQ(synth.Render(256), TW::kNoErr);
        EXPECT_EQ(trace.Take(), (std::vector<std::string>{"r40", "80:60@40", "r216"}));
        EXPECT_EQ(synth->GetWaitingEventCount(), 0u);
    }
    TW::LogRing::Get().Flush();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string line = "Velluna: a script on another thread has held the script lock for "
                             "over 50 ms: 2 waiting MIDI events were played without their script "
                             "handlers, and so are new ones until it ends\n";
    EXPECT_EQ(err, line);

    // Once the lock is free the scripts see new events again, and never the ones played
    // without them.
    ASSERT_EQ(synth->MidiEvent(0x80, 64, 0, 0), TW::kNoErr);
    ASSERT_EQ(synth.Render(256), TW::kNoErr);
    EXPECT_EQ(LuaString(lua, "seen"), " off64");
    synth->SetRenderObserver(nullptr);
}

TEST(ScriptLockThreadTest, ScriptsOnOtherThreadsAndRenderingNeverLoseOrReorderEvents)
{
    ScratchDataHome home;
    home.AddScript("midi.lua", "got = {}\n"
                               "requestAllCC(function(c, n, v) got[#got + 1] = n * 128 + v end)\n"
                               "function spin(n) local x = 0 for i = 1, n do x = x + i end end\n");
    TestInstance synth;
    TW::LuaMIDIHelper& lua = synth->LuaHelper();
    std::atomic<bool> stop{false};
    // Another thread keeps taking the lock for short script runs, as a busy timer would.
    std::thread busy(
        [&]
        {
            while (!stop)
            {
                RunLua(lua, "spin(50000)");
                std::this_thread::sleep_for(100us);
            }
        });
    constexpr int kEvents = 2000;
    int sent = 0;
    std::uint32_t mostWaiting = 0;
    while (sent < kEvents)
    {
        for (int k = 0; k < 8 && sent < kEvents; ++k, ++sent)
            ASSERT_EQ(synth->MidiEvent(0xB0, static_cast<std::uint8_t>(1 + (sent / 128) % 60),
                                       static_cast<std::uint8_t>(sent % 128),
                                       static_cast<std::uint32_t>(k * 16)),
                      TW::kNoErr);
        ASSERT_EQ(synth.Render(128), TW::kNoErr);
        mostWaiting = std::max(mostWaiting, synth->GetWaitingEventCount());
        // Slower than real time (a block lasts 2.7 ms at 48 kHz): the wait bound, counted in
        // rendered audio, is reached only if the other thread holds the lock for 50 ms.
        std::this_thread::sleep_for(4ms);
    }
    stop = true;
    busy.join();
    while (synth->GetWaitingEventCount() != 0)
        ASSERT_EQ(synth.Render(128), TW::kNoErr);
    ASSERT_EQ(LuaNumber(lua, "#got"), kEvents);
    std::string wrong;
    for (int i = 0; i < kEvents && wrong.empty(); ++i)
    {
        const int expected = (1 + (i / 128) % 60) * 128 + i % 128;
        if (LuaNumber(lua, "got[" + std::to_string(i + 1) + "]") != expected)
            wrong = "event " + std::to_string(i);
    }
    EXPECT_EQ(wrong, "");
    EXPECT_GT(mostWaiting, 0u); // events did wait for the other thread
}

// A handler's print on the render thread reaches standard output through the log ring: a full
// pipe on standard output (a stalled terminal) stalls only the printer thread, never rendering.
TEST(ScriptLockThreadTest, PrintOnTheRenderThreadNeverWaitsForAFullStandardOutput)
{
    ScratchDataHome home;
    home.AddScript("midi.lua", "requestAllNoteOn(function(c, n, v) print('note', n, v) end)\n");
    TestInstance synth;
    std::fflush(stdout);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int savedStdout = ::dup(1);
    ASSERT_GE(::dup2(pipeFds[1], 1), 0);
    // Fill the pipe, then make writes to it block again.
    ::fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
    const std::string filler(4096, '.');
    std::size_t filled = 0;
    while (::write(pipeFds[1], filler.data(), filler.size()) > 0)
        filled += filler.size();
    ::fcntl(pipeFds[1], F_SETFL, 0);

    ASSERT_EQ(synth->MidiEvent(0x90, 60, 100, 0), TW::kNoErr);
    std::atomic<bool> rendered{false};
    std::thread render(
        [&]
        {
            synth.Render(256);
            rendered = true;
        });
    for (int i = 0; i < 5000 && !rendered; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(rendered);

    // Draining the pipe lets the printer go on; the line arrives whole.
    std::string out;
    char buffer[4096];
    while (out.find("note\t60\t100\n") == std::string::npos)
    {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    render.join();
    ::dup2(savedStdout, 1);
    ::close(savedStdout);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    EXPECT_GT(filled, 0u);
    EXPECT_EQ(out.substr(filled), "note\t60\t100\n");
}

} // namespace
