// The instance as a host sees it: lifecycle, custom properties, MIDI entry and the block
// renderer's cutting of each block at the queued events' frame offsets.
#include "core/ParameterTable.h"
#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"
#include "platform/LogRing.h"
#include "scripting/VeLuLuaMIDIHelper.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using TarnTest::TestInstance;

namespace
{

// Records what the block renderer does: "r<frames>" for a rendered slice, "e<note>@<frame>"
// for an item handed to the MIDI layer.
class Trace : public TarnRenderObserver
{
public:
    void OnRenderSlice(unsigned frames) override { steps.push_back("r" + std::to_string(frames)); }
    void OnQueueItem(const TW::MessageQueueItem& item) override
    {
        steps.push_back("e" + std::to_string(item.m_data1) + "@" + std::to_string(item.m_frame));
    }
    std::vector<std::string> Take()
    {
        auto out = std::move(steps);
        steps.clear();
        return out;
    }
    std::vector<std::string> steps;
};

using Steps = std::vector<std::string>;

template <class T> T Property(TarnAdditiveSynth& synth, TW::PropertyID id, TW::Status* status)
{
    T value{};
    std::uint32_t size = sizeof value;
    *status = synth.DispatchGetProperty(id, TW::Scope::Global, 0, &value, &size);
    return value;
}

} // namespace

TEST(BlockRenderer, CutsBlocksAtEventOffsets)
{
    TestInstance synth;
    Trace trace;
    synth->SetRenderObserver(&trace);

    // One note-on at 100 in a block of 512.
    ASSERT_EQ(synth->MidiEvent(0x90, 60, 100, 100), TW::kNoErr);
    ASSERT_EQ(synth.Render(512), TW::kNoErr);
    EXPECT_EQ(trace.Take(), (Steps{"r100", "e60@100", "r412"}));

    // Two events at the same offset: no frames between them; an event at 0 renders nothing first.
    synth->MidiEvent(0x80, 60, 0, 0);
    synth->MidiEvent(0x90, 61, 90, 200);
    synth->MidiEvent(0x90, 62, 90, 200);
    ASSERT_EQ(synth.Render(512), TW::kNoErr);
    EXPECT_EQ(trace.Take(), (Steps{"e60@0", "r200", "e61@200", "e62@200", "r312"}));

    // 600 and 700 in a 512 block: the first after the last frame, the second left queued.
    synth->MidiEvent(0x80, 61, 0, 600);
    synth->MidiEvent(0x80, 62, 0, 700);
    ASSERT_EQ(synth.Render(512), TW::kNoErr);
    EXPECT_EQ(trace.Take(), (Steps{"r512", "e61@600"}));
    ASSERT_EQ(synth.Render(512), TW::kNoErr);
    EXPECT_EQ(trace.Take(), (Steps{"r512", "e62@700"}));
    ASSERT_EQ(synth.Render(128), TW::kNoErr);
    EXPECT_EQ(trace.Take(), (Steps{"r128"}));

    // A frame count of 0 renders nothing and takes nothing from the queue.
    synth->MidiEvent(0x90, 64, 1, 0);
    ASSERT_EQ(synth.Render(0), TW::kNoErr);
    EXPECT_EQ(trace.Take(), Steps{});
    ASSERT_EQ(synth.Render(16), TW::kNoErr);
    EXPECT_EQ(trace.Take(), (Steps{"e64@0", "r16"}));
    synth->SetRenderObserver(nullptr);
}

TEST(BlockRenderer, SilenceFlagAndOutputFormat)
{
    TestInstance synth;
    bool silent = false;
    ASSERT_EQ(synth.Render(256, &silent), TW::kNoErr);
    EXPECT_TRUE(silent);

    std::vector<float> mono(256);
    TW::AudioBufferList one;
    one.numberBuffers = 1;
    one.buffers[0] = {1, 256 * sizeof(float), mono.data()};
    std::uint32_t flags = 0;
    EXPECT_EQ(synth->DoRender(flags, {}, 256, one), TW::kErrFormatNotSupported);
    EXPECT_TRUE(flags & TW::kRenderOutputIsSilence);

    // Buffers smaller than the frame count are refused rather than overrun.
    std::vector<float> l(16), r(16);
    TW::AudioBufferList small;
    small.numberBuffers = 2;
    small.buffers[0] = {1, 16 * sizeof(float), l.data()};
    small.buffers[1] = {1, 16 * sizeof(float), r.data()};
    EXPECT_EQ(synth->DoRender(flags, {}, 256, small), TW::kErrFormatNotSupported);
}

TEST(MidiEntry, NotesAreQueuedAndTruncated)
{
    TestInstance synth;
    Trace trace;
    synth->SetRenderObserver(&trace);
    std::uint32_t noteId = 0;
    ASSERT_EQ(synth->StartNote(0, 0, &noteId, 3, {60.7f, 100.9f}), TW::kNoErr);
    EXPECT_EQ(noteId, 60u);
    ASSERT_EQ(synth->StopNote(0, noteId, 7), TW::kNoErr);

    // Garbage from a host never becomes undefined behaviour.
    ASSERT_EQ(synth->StartNote(0, 0, &noteId, 9, {std::nanf(""), 1e30f}), TW::kNoErr);
    EXPECT_EQ(noteId, 0u);

    // A system real-time byte arrives as status 0xF0 with channel 8 and takes a slot.
    ASSERT_EQ(synth->MidiEvent(0xF8, 0, 0, 11), TW::kNoErr);
    ASSERT_EQ(synth.Render(32), TW::kNoErr);
    EXPECT_EQ(trace.Take(), (Steps{"r3", "e60@3", "r4", "e60@7", "r2", "e0@9", "r2", "e0@11",
                                   "r21"}));
    synth->SetRenderObserver(nullptr);
}

TEST(MidiEntry, RemoteNotesWaitInTheirOwnQueueForTheNextBlock)
{
    TestInstance synth;
    Trace trace;
    synth->SetRenderObserver(&trace);
    // The host's queue full does not stop a note sent over OSC, and vice versa.
    for (int i = 0; i < 63; ++i)
        ASSERT_EQ(synth->MidiEvent(0xB0, 7, 0, 50), TW::kNoErr);
    ASSERT_TRUE(synth->LuaHelper().HandleRemoteMidiEvent(0x90, 1, 61, 100));
    ASSERT_EQ(synth.Render(100), TW::kNoErr);
    const Steps steps = trace.Take();
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[0], "e61@0");
    EXPECT_EQ(steps[1], "r50");
    synth->SetRenderObserver(nullptr);
}

TEST(MidiEntry, FullQueueGivesMinusOne)
{
    TestInstance synth;
    for (int i = 0; i < 63; ++i)
        ASSERT_EQ(synth->MidiEvent(0xB0, 7, 0, 0), TW::kNoErr);
    testing::internal::CaptureStderr();
    std::uint32_t id = 0;
    EXPECT_EQ(synth->MidiEvent(0xB0, 7, 0, 0), -1);
    EXPECT_EQ(synth->StartNote(0, 0, &id, 0, {60, 100}), -1);
    EXPECT_EQ(synth->StopNote(0, 60, 0), -1);
    const std::uint8_t sysex[] = {0xF0, 0x7E, 0xF7};
    EXPECT_EQ(synth->HandleSysEx(sysex, 3), -1);
    TW::LogRing::Get().Flush();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("MessageQueue::Write() overflow"), std::string::npos);
    EXPECT_NE(err.find("MessageQueue::WriteSysEx() overflow"), std::string::npos);
    ASSERT_EQ(synth.Render(64), TW::kNoErr); // drains all 63
    EXPECT_EQ(synth->MidiEvent(0xB0, 7, 0, 0), TW::kNoErr);
}

TEST(Properties, CustomPropertiesAnswerAsAdvertised)
{
    TestInstance synth;
    TW::Status status;
    EXPECT_EQ(Property<std::uint32_t>(*synth, kPropertyParameterCount, &status), 181u);
    EXPECT_EQ(status, TW::kNoErr);

    ASSERT_EQ(synth.Set(180, 2.9f), TW::kNoErr);
    EXPECT_EQ(Property<std::int32_t>(*synth, kPropertyOSCPortOffset, &status), 2);
    ASSERT_EQ(synth.Set(180, 0.0f), TW::kNoErr);

    EXPECT_EQ(Property<const Tarn::DisplayBlock*>(*synth, kPropertyDisplayBlock, &status),
              &synth->GetDisplayBlock());
    EXPECT_STREQ(Property<const char*>(*synth, kPropertyPrimaryAppSupportName, &status),
                 "Velluna");
    EXPECT_STREQ(Property<const char*>(*synth, kPropertySecondaryAppSupportName, &status),
                 "Velluna");
    EXPECT_STREQ(Property<const char*>(*synth, kPropertyProductName, &status), "Velluna");
    EXPECT_EQ(Property<const char*>(*synth, kPropertySecondaryGuiFilename, &status), nullptr);
    EXPECT_EQ(status, TW::kNoErr);
    EXPECT_EQ(Property<const Tarn::ParamInfo*>(*synth, kPropertyParameterTable, &status),
              &Tarn::astParamInfos[0]);

    struct Advertised
    {
        TW::PropertyID id;
        std::uint32_t size;
        bool writable;
        bool served;
    };
    for (const Advertised& a : {Advertised{31, 16, false, true}, {33, 24, false, true},
                                {64001, 8, false, true}, {64005, 8, false, false},
                                {64006, 8, false, false}, {64007, 4, false, true},
                                {64008, 1, true, false}, {64009, 4, false, true},
                                {64011, 8, false, true}, {64013, 1, false, false}})
    {
        SCOPED_TRACE(a.id);
        std::uint32_t size = 0;
        bool writable = !a.writable;
        ASSERT_EQ(synth->DispatchGetPropertyInfo(a.id, TW::Scope::Output, 3, &size, &writable),
                  TW::kNoErr);
        EXPECT_EQ(size, a.size);
        EXPECT_EQ(writable, a.writable);
        if (!a.served)
        {
            std::uint64_t buffer = 0;
            std::uint32_t ioSize = sizeof buffer;
            EXPECT_EQ(synth->DispatchGetProperty(a.id, TW::Scope::Global, 0, &buffer, &ioSize),
                      TW::kErrInvalidProperty);
        }
    }
    std::uint32_t size = 0;
    EXPECT_EQ(synth->DispatchGetPropertyInfo(64012, TW::Scope::Global, 0, &size, nullptr),
              TW::kErrInvalidProperty);
    EXPECT_EQ(synth->Version(), 0x00010101u);
    ASSERT_EQ(synth->SupportedNumChannels().size(), 1u);
    EXPECT_EQ(synth->SupportedNumChannels()[0].inChannels, 0);
    EXPECT_EQ(synth->SupportedNumChannels()[0].outChannels, 2);
}

TEST(Properties, BundleLocation)
{
    // The bundle is looked up once per process, so each case runs in a freshly started child
    // ("threadsafe" death tests re-run the program rather than fork this process).
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("VELLUNA_BUNDLE", "/nonexistent/velluna-bundle", 1);
            TestInstance synth;
            TW::Status status;
            Property<TarnViewInfo>(*synth, kPropertyCocoaUI, &status);
            std::exit(status == TW::kErrResourceNotFound ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            setenv("VELLUNA_BUNDLE", VELLUNA_SOURCE_DIR "/resources", 1);
            TestInstance synth;
            TW::Status status;
            const TarnViewInfo info = Property<TarnViewInfo>(*synth, kPropertyCocoaUI, &status);
            std::exit(status == TW::kNoErr &&
                              std::string(info.bundleLocation) ==
                                  VELLUNA_SOURCE_DIR "/resources" &&
                              std::string(info.factoryClassName) ==
                                  "ComTarnPlugVeLuCocoaViewFactory"
                          ? 0
                          : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(Lifecycle, InitializeAndCleanupAlternateAndParametersPersist)
{
    TestInstance synth(44100.0, false);
    EXPECT_FALSE(synth->IsInitialized());
    // Rendering needs an initialized instance.
    std::vector<float> l(8), r(8);
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, 8 * sizeof(float), l.data()};
    buffers.buffers[1] = {1, 8 * sizeof(float), r.data()};
    std::uint32_t flags = 0;
    EXPECT_NE(synth->DoRender(flags, {}, 8, buffers), TW::kNoErr);

    ASSERT_EQ(synth.Set(139, 1234.0f), TW::kNoErr);
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_EQ(synth->DoInitialize(), TW::kNoErr);
        EXPECT_TRUE(synth->IsInitialized());
        EXPECT_EQ(synth.Render(8), TW::kNoErr);
        synth->DoCleanup();
        EXPECT_FALSE(synth->IsInitialized());
    }
    EXPECT_EQ(synth->GetParameter(139), 1234.0f);
    EXPECT_EQ(synth->GetCurrentPreset().number, 0);
    EXPECT_EQ(synth->GetCurrentPreset().name, "Defaults");
}

namespace
{

struct Throws : TW::MusicDeviceBase
{
    explicit Throws(int kind) : MusicDeviceBase(0, 1, 0)
    {
        if (kind == 0)
            throw TW::HostError(-10875);
        if (kind == 1)
            throw std::bad_alloc();
        throw 42;
    }
};

} // namespace

TEST(Lifecycle, OpeningTurnsExceptionsIntoStatuses)
{
    std::unique_ptr<Throws> out;
    EXPECT_EQ(TW::OpenComponent(out, 0), -10875);
    EXPECT_EQ(TW::OpenComponent(out, 1), TW::kErrMemFull);
    EXPECT_EQ(TW::OpenComponent(out, 2), TW::kErrUnknown);
    EXPECT_EQ(out, nullptr);

    // Closing an initialized instance cleans it up first.
    std::unique_ptr<TarnAdditiveSynth> synth;
    ASSERT_EQ(TW::OpenComponent(synth), TW::kNoErr);
    ASSERT_EQ(synth->DoInitialize(), TW::kNoErr);
    TW::CloseComponent(synth);
    EXPECT_EQ(synth, nullptr);
}
