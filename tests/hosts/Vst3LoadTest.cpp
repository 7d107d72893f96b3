// The built VST3 bundle loaded through GetPluginFactory and driven through the interfaces'
// tables as a host does: factory, class, instance, buses, processing a note, state.
#include "AudioChecks.h"
#include "UserFolders.h"
#include "Vst3Abi.h"
#include "Vst3ComponentHandler.h"
#include "Vst3Host.h"
#include "Vst3HostApplication.h"
#include "Vst3ParamChanges.h"

#include "core/ParameterTable.h"
#include "plugins/driver/PluginParameterMap.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace Vst3Abi;
using namespace VellunaHostTest;

namespace
{

constexpr double kRate = kVst3Rate;
constexpr std::int32_t kBlock = kVst3Block;

// A host-side memory stream for saving and restoring state.
struct MemoryStream
{
    IBStreamVtbl* vtbl;
    std::vector<std::uint8_t> data;
    std::size_t pos = 0;

    static IBStreamVtbl* Table()
    {
        static IBStreamVtbl table = {
            [](void* self, const std::uint8_t* iid, void** obj) -> tresult
            {
                if (SameUid(iid, kIBStream))
                {
                    *obj = self;
                    return kResultOk;
                }
                *obj = nullptr;
                return -1;
            },
            [](void*) -> std::uint32_t { return 1; },
            [](void*) -> std::uint32_t { return 1; },
            [](void* self, void* buffer, std::int32_t bytes, std::int32_t* read) -> tresult
            {
                auto* s = static_cast<MemoryStream*>(self);
                const std::size_t n =
                    std::min<std::size_t>(static_cast<std::size_t>(bytes), s->data.size() - s->pos);
                std::memcpy(buffer, s->data.data() + s->pos, n);
                s->pos += n;
                if (read)
                    *read = static_cast<std::int32_t>(n);
                return kResultOk;
            },
            [](void* self, void* buffer, std::int32_t bytes, std::int32_t* written) -> tresult
            {
                auto* s = static_cast<MemoryStream*>(self);
                const auto* b = static_cast<const std::uint8_t*>(buffer);
                s->data.insert(s->data.end(), b, b + bytes);
                if (written)
                    *written = bytes;
                return kResultOk;
            },
            [](void* self, std::int64_t pos, std::int32_t mode, std::int64_t* result) -> tresult
            {
                auto* s = static_cast<MemoryStream*>(self);
                const std::int64_t base = mode == 0   ? 0
                                          : mode == 1 ? static_cast<std::int64_t>(s->pos)
                                                      : static_cast<std::int64_t>(s->data.size());
                const std::int64_t to = base + pos;
                if (to < 0 || to > static_cast<std::int64_t>(s->data.size()))
                    return 2;
                s->pos = static_cast<std::size_t>(to);
                if (result)
                    *result = to;
                return kResultOk;
            },
            [](void* self, std::int64_t* pos) -> tresult
            {
                *pos = static_cast<std::int64_t>(static_cast<MemoryStream*>(self)->pos);
                return kResultOk;
            }};
        return &table;
    }
    MemoryStream() : vtbl(Table()) {}
};

class Vst3LoadTest : public ::testing::Test, protected Vst3Module
{
protected:
    void SetUp() override
    {
        IsolateUserFolders();
        ASSERT_TRUE(Load(VELLUNA_VST3_FILE));
    }
    void TearDown() override { Unload(); }
};

TEST_F(Vst3LoadTest, FactoryListsTheInstrument)
{
    PFactoryInfo factoryInfo{};
    ASSERT_EQ(V<IPluginFactoryVtbl>(m_factory).getFactoryInfo(m_factory, &factoryInfo), kResultOk);
    EXPECT_STREQ(factoryInfo.vendor, "Tarnwick");
    PClassInfo info{};
    ASSERT_TRUE(FindAudioModule(info));
    EXPECT_STREQ(info.name, "Velluna");
}

// A host that exits with the module still loaded, without ModuleExit (as hosts do when they
// quit or a scanner ends), exits normally: the framework's own instance is destroyed with the
// process's statics, after the plug-in's.
TEST(Vst3ModuleExit, HostExitingWithTheModuleLoadedExitsNormally)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        IsolateUserFolders();
        Vst3Module module;
        if (!module.Load(VELLUNA_VST3_FILE))
            ::_exit(3);
        std::exit(0); // statics destroyed, module never unloaded
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Vst3LoadTest, InstanceHasStereoOutAndMidiInAndPlaysANote)
{
    PClassInfo info{};
    ASSERT_TRUE(FindAudioModule(info));
    Instance inst = Create(info);
    ASSERT_TRUE(inst.component && inst.processor);
    auto& c = V<IComponentVtbl>(inst.component);
    EXPECT_EQ(c.getBusCount(inst.component, kAudio, kInput), 0);
    EXPECT_EQ(c.getBusCount(inst.component, kAudio, kOutput), 1);
    EXPECT_EQ(c.getBusCount(inst.component, kEvent, kInput), 1);
    EXPECT_EQ(V<IAudioProcessorVtbl>(inst.processor).getLatencySamples(inst.processor), 0u);
    Start(inst);

    std::vector<float> left;
    Render(inst, {}, kBlock, left);
    Render(inst, {NoteOn(100, 69)}, 48000, left);
    const long onset = FirstSoundingFrame(left);
    EXPECT_GE(onset, static_cast<long>(kBlock + 100));
    EXPECT_LT(onset, static_cast<long>(kBlock + 100 + 16));
    EXPECT_NEAR(ZeroCrossingPitch(left, 12000, 36000, kRate), 440.0, 2.0);
    Destroy(inst);
}

// The id of the parameter titled title, or of the program-change parameter when title is null.
bool FindParameter(void* controller, const char16_t* title, ParamID& out)
{
    constexpr std::int32_t kIsProgramChange = 1 << 15;
    auto& ec = V<IEditControllerVtbl>(controller);
    for (std::int32_t i = 0; i < ec.getParameterCount(controller); ++i)
    {
        ParameterInfo p{};
        if (ec.getParameterInfo(controller, i, &p) != kResultOk)
            return false;
        if (title ? std::u16string(p.title) == title : (p.flags & kIsProgramChange) != 0)
        {
            out = p.id;
            return true;
        }
    }
    return false;
}

TEST_F(Vst3LoadTest, ProgramsAreTheFactoryPresets)
{
    PClassInfo info{};
    ASSERT_TRUE(FindAudioModule(info));
    Instance inst = Create(info);
    ASSERT_TRUE(inst.component && inst.processor);
    void* controller = nullptr;
    auto& c = V<IComponentVtbl>(inst.component);
    ASSERT_EQ(c.queryInterface(inst.component, kIEditController.bytes, &controller), kResultOk);
    auto& ec = V<IEditControllerVtbl>(controller);
    ParamID program = 0, coarse = 0;
    ASSERT_TRUE(FindParameter(controller, nullptr, program));
    ASSERT_TRUE(FindParameter(controller, u"Coarse Tune", coarse));
    char16_t name[128] = {};
    ASSERT_EQ(ec.getParamStringByValue(controller, program, 15.0 / 31.0, name), kResultOk);
    EXPECT_EQ(std::u16string(name), u"KV Chimes 1");

    // Program 6, "PW Dive", sets Coarse Tune to -24 (normalized 0 of -24..24).
    EXPECT_DOUBLE_EQ(ec.getParamNormalized(controller, coarse), 0.5);
    ASSERT_EQ(ec.setParamNormalized(controller, program, 6.0 / 31.0), kResultOk);
    EXPECT_NEAR(ec.getParamNormalized(controller, coarse), 0.0, 1e-9);
    ec.release(controller);
    Destroy(inst);
}

// Renders one block with the parameter changes in (may be null) and the events, collecting the
// plug-in's output parameter changes in out and appending the left channel to left.
void ProcessBlock(void* processor, ParamChanges* in, ParamChanges& out, std::vector<Event> notes,
                  std::vector<float>& left)
{
    std::vector<float> l(kBlock), r(kBlock);
    float* channels[2] = {l.data(), r.data()};
    AudioBusBuffers buses{2, 0, channels};
    EventList events;
    events.events = std::move(notes);
    ProcessData data{};
    data.numSamples = kBlock;
    data.numOutputs = 1;
    data.outputs = &buses;
    data.inputEvents = &events;
    data.inputParameterChanges = in;
    data.outputParameterChanges = &out;
    EXPECT_EQ(V<IAudioProcessorVtbl>(processor).process(processor, &data), kResultOk);
    left.insert(left.end(), l.begin(), l.end());
}

TEST_F(Vst3LoadTest, ScriptChangesReachTheHostAsOutputParameterChanges)
{
    PClassInfo info{};
    ASSERT_TRUE(FindAudioModule(info));
    Instance inst = Create(info);
    ASSERT_TRUE(inst.component && inst.processor);
    void* controller = nullptr;
    void* mapping = nullptr;
    auto& c = V<IComponentVtbl>(inst.component);
    ASSERT_EQ(c.queryInterface(inst.component, kIEditController.bytes, &controller), kResultOk);
    ASSERT_EQ(c.queryInterface(inst.component, kIMidiMapping.bytes, &mapping), kResultOk);

    // The host finds "Volume" among the parameters and the parameter that carries CC 7.
    auto& ec = V<IEditControllerVtbl>(controller);
    ParamID volume = 0;
    bool found = false;
    for (std::int32_t i = 0; i < ec.getParameterCount(controller) && !found; ++i)
    {
        ParameterInfo p{};
        ASSERT_EQ(ec.getParameterInfo(controller, i, &p), kResultOk);
        if (std::u16string(p.title) == u"Volume")
        {
            volume = p.id;
            found = true;
        }
    }
    ASSERT_TRUE(found);
    ParamID cc7 = 0;
    ASSERT_EQ(V<IMidiMappingVtbl>(mapping).getMidiControllerAssignment(mapping, 0, 0, 7, &cc7),
              kResultOk);
    Start(inst);

    // CC 7 = 64: the default script sets "Volume" to 64/127; the host hears of it.
    ParamChanges in, out;
    in.Add(cc7)->points.emplace_back(0, 64.0 / 127.0);
    std::vector<float> left;
    ProcessBlock(inst.processor, &in, out, {}, left);
    bool reported = false;
    for (const auto* q : out.queues)
        if (q->id == volume && !q->points.empty())
        {
            reported = true;
            EXPECT_NEAR(q->points.back().second, 64.0 / 127.0, 1e-6);
        }
    EXPECT_TRUE(reported);

    V<IEditControllerVtbl>(controller).release(controller);
    V<IMidiMappingVtbl>(mapping).release(mapping);
    Destroy(inst);
}

// What a host lists for users: the parameters without the hidden flag are exactly the
// instrument's live parameters (names from the instrument's own table, in the plug-in's order),
// the program parameter and the controller parameters stay hidden, and every listed parameter a
// host automates reads back the value the host sent in a block (one the framework cannot hold
// reads 0).
TEST_F(Vst3LoadTest, ListedParametersAreTheInstrumentsAndHoldTheirValues)
{
    constexpr std::int32_t kCanAutomate = 1 << 0, kIsHidden = 1 << 4;
    PClassInfo info{};
    ASSERT_TRUE(FindAudioModule(info));
    Instance inst = Create(info);
    ASSERT_TRUE(inst.component && inst.processor);
    void* controller = nullptr;
    ASSERT_EQ(V<IComponentVtbl>(inst.component)
                  .queryInterface(inst.component, kIEditController.bytes, &controller),
              kResultOk);
    auto& ec = V<IEditControllerVtbl>(controller);

    std::vector<std::u16string> listed;
    std::vector<std::pair<ParamID, std::u16string>> automated;
    std::size_t hidden = 0;
    for (std::int32_t i = 0; i < ec.getParameterCount(controller); ++i)
    {
        ParameterInfo p{};
        ASSERT_EQ(ec.getParameterInfo(controller, i, &p), kResultOk);
        if (p.flags & kIsHidden)
            ++hidden;
        else
            listed.emplace_back(p.title);
        if ((p.flags & (kIsHidden | kCanAutomate)) == kCanAutomate)
            automated.emplace_back(p.id, p.title);
    }
    std::vector<std::u16string> expected;
    for (std::uint32_t i = 0; i < TW::PluginParameterMap::Count(); ++i)
    {
        const std::string name = Tarn::astParamInfos[TW::PluginParameterMap::IdAt(i)].name;
        expected.emplace_back(name.begin(), name.end());
    }
    EXPECT_EQ(listed, expected);
    EXPECT_GE(hidden, 1u + 16u * 130u) << "program and controller parameters";

    // The top of the range is a value every kind of parameter takes exactly.
    Start(inst);
    ParamChanges in, out;
    for (const auto& [id, title] : automated)
        in.Add(id)->points.emplace_back(0, 1.0);
    std::vector<float> left;
    ProcessBlock(inst.processor, &in, out, {}, left);
    for (const auto& [id, title] : automated)
        EXPECT_NEAR(ec.getParamNormalized(controller, id), 1.0, 1e-6)
            << std::string(title.begin(), title.end());

    ec.release(controller);
    Destroy(inst);
}

// A host restoring a project sets every controller parameter (16 channels of 128 controllers,
// pressure and the pitch wheel) to its saved value in one block; for a project where none was
// moved that is 0 for all of them. That must not act as MIDI: with CC 7 at 0 the instrument
// would fall silent, with CC 74 at 0 its filter would close. The note that follows sounds
// exactly as in an instance that never saw the restore, and a controller that then really moves
// still acts.
TEST_F(Vst3LoadTest, AHostRestoringEveryControllerParameterChangesNothing)
{
    PClassInfo info{};
    ASSERT_TRUE(FindAudioModule(info));
    const auto block =
        [](Instance& inst, ParamChanges* in, std::vector<Event> notes, std::vector<float>& left)
    {
        ParamChanges out;
        ProcessBlock(inst.processor, in, out, std::move(notes), left);
    };
    // A block with the restore (or none), then A4 for half a second, with CC 7 moved to
    // `volume` (normalized) in the note's block when it is not negative.
    const auto play = [&](bool restore, double volume)
    {
        std::vector<float> left;
        Instance inst = Create(info);
        void* mapping = nullptr;
        if (!inst.component ||
            V<IComponentVtbl>(inst.component)
                    .queryInterface(inst.component, kIMidiMapping.bytes, &mapping) != kResultOk)
        {
            ADD_FAILURE() << "no instance or no MIDI mapping";
            return left;
        }
        auto& m = V<IMidiMappingVtbl>(mapping);
        Start(inst);
        ParamChanges restored, moved;
        for (std::int16_t channel = 0; restore && channel < 16; ++channel)
            for (std::int16_t controller = 0; controller < 130; ++controller)
            {
                ParamID id = 0;
                EXPECT_EQ(m.getMidiControllerAssignment(mapping, 0, channel, controller, &id),
                          kResultOk);
                restored.Add(id)->points.emplace_back(0, 0.0);
            }
        ParamID cc7 = 0;
        EXPECT_EQ(m.getMidiControllerAssignment(mapping, 0, 0, 7, &cc7), kResultOk);
        if (volume >= 0.0)
            moved.Add(cc7)->points.emplace_back(0, volume);
        block(inst, &restored, {}, left);
        block(inst, &moved, {NoteOn(0, 69)}, left);
        for (std::int32_t done = kBlock; done < 24000; done += kBlock)
            block(inst, nullptr, {}, left);
        m.release(mapping);
        Destroy(inst);
        return left;
    };

    const std::vector<float> plain = play(false, -1.0);
    const std::vector<float> afterRestore = play(true, -1.0);
    ASSERT_EQ(plain.size(), afterRestore.size());
    ASSERT_GT(Peak(plain), 0.05f);
    float worst = 0.0f;
    for (std::size_t i = 0; i < plain.size(); ++i)
        worst = std::max(worst, std::abs(plain[i] - afterRestore[i]));
    EXPECT_LT(worst, 1e-6f) << "the restore changed the sound";

    const std::vector<float> quieter = play(true, 0.25);
    EXPECT_GT(Peak(quieter), 0.0f);
    EXPECT_LT(Peak(quieter), 0.5f * Peak(plain)) << "CC 7 no longer acts";
}

TEST_F(Vst3LoadTest, StateSavedFromOneInstanceLoadsIntoAnother)
{
    PClassInfo info{};
    ASSERT_TRUE(FindAudioModule(info));
    Instance a = Create(info);
    Instance b = Create(info);
    ASSERT_TRUE(a.component && b.component);
    MemoryStream stream;
    ASSERT_EQ(V<IComponentVtbl>(a.component).getState(a.component, &stream), kResultOk);
    // The instance's own saved state (a property list naming the current preset) travels
    // inside the host's state.
    const std::string saved(stream.data.begin(), stream.data.end());
    EXPECT_NE(saved.find("<plist"), std::string::npos);
    EXPECT_NE(saved.find("Defaults"), std::string::npos);
    stream.pos = 0;
    EXPECT_EQ(V<IComponentVtbl>(b.component).setState(b.component, &stream), kResultOk);
    Destroy(a);
    Destroy(b);
}

// After a program change or a state load the host must learn the new values. A host is asked to
// re-read them all (one restartComponent) during the call, except Ardour, which holds a lock
// around those calls that its answer to restartComponent takes again (it froze for good): there
// the program's changes come as one edit each, begin, perform and end, carrying the value the
// controller then reads, and a state load asks for nothing, as Ardour re-reads every value after
// it.
TEST_F(Vst3LoadTest, ProgramsAndStatesTellTheHostTheNewValues)
{
    PClassInfo info{};
    ASSERT_TRUE(FindAudioModule(info));
    MemoryStream saved;
    {
        Instance source = Create(info);
        ASSERT_TRUE(source.component);
        ASSERT_EQ(V<IComponentVtbl>(source.component).getState(source.component, &saved),
                  kResultOk);
        Destroy(source);
    }
    for (const bool ardour : {false, true})
    {
        SCOPED_TRACE(ardour ? "Ardour" : "another host");
        Vst3HostApplication application(ardour ? u"Ardour" : u"Velluna VST3 test host");
        Vst3ComponentHandler handler;
        Instance inst = Create(info, application.Context());
        ASSERT_TRUE(inst.component);
        void* controller = nullptr;
        ASSERT_EQ(V<IComponentVtbl>(inst.component)
                      .queryInterface(inst.component, kIEditController.bytes, &controller),
                  kResultOk);
        auto& ec = V<IEditControllerVtbl>(controller);
        ASSERT_EQ(ec.setComponentHandler(controller, handler.Interface()), kResultOk);
        ParamID program = 0, coarse = 0;
        ASSERT_TRUE(FindParameter(controller, nullptr, program));
        ASSERT_TRUE(FindParameter(controller, u"Coarse Tune", coarse));

        // Program 6, "PW Dive", sets Coarse Tune to -24 (normalized 0) among others.
        ASSERT_EQ(ec.setParamNormalized(controller, program, 6.0 / 31.0), kResultOk);
        const auto edits = handler.Edits();
        if (!ardour)
        {
            EXPECT_EQ(handler.Restarts(), 1);
            EXPECT_TRUE(edits.empty());
        }
        else
        {
            EXPECT_EQ(handler.Restarts(), 0);
            ASSERT_EQ(edits.size() % 3, 0u);
            ASSERT_GT(edits.size(), 3u);
            bool coarseReported = false;
            for (std::size_t e = 0; e + 2 < edits.size(); e += 3)
            {
                const ParamID id = edits[e].id;
                EXPECT_EQ(edits[e].kind, Vst3ComponentHandler::Edit::kBegin);
                EXPECT_EQ(edits[e + 1].kind, Vst3ComponentHandler::Edit::kPerform);
                EXPECT_EQ(edits[e + 2].kind, Vst3ComponentHandler::Edit::kEnd);
                EXPECT_EQ(edits[e + 1].id, id);
                EXPECT_EQ(edits[e + 2].id, id);
                EXPECT_DOUBLE_EQ(edits[e + 1].value, ec.getParamNormalized(controller, id));
                coarseReported = coarseReported || (id == coarse && edits[e + 1].value == 0.0);
            }
            EXPECT_TRUE(coarseReported);
        }

        handler.Clear();
        const int restarts = handler.Restarts();
        saved.pos = 0;
        ASSERT_EQ(V<IComponentVtbl>(inst.component).setState(inst.component, &saved), kResultOk);
        EXPECT_EQ(handler.Restarts() - restarts, ardour ? 0 : 1);
        EXPECT_TRUE(handler.Edits().empty());
        EXPECT_DOUBLE_EQ(ec.getParamNormalized(controller, coarse), 0.5) << "state not loaded";

        ec.setComponentHandler(controller, nullptr);
        ec.release(controller);
        Destroy(inst);
    }
}

} // namespace
