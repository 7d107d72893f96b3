// The host side of a VST3 module for the plug-in tests: loads the built library as a host does
// (ModuleEntry, GetPluginFactory), creates the audio module's component and processor, starts them
// with stereo out and events in, and renders blocks with note events.
#pragma once

#include "Vst3Abi.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace VellunaHostTest
{

using namespace Vst3Abi;

inline constexpr double kVst3Rate = 48000.0;
inline constexpr std::int32_t kVst3Block = 256;

inline bool SameUid(const std::uint8_t* a, const Uid& b)
{
    return std::memcmp(a, b.bytes, 16) == 0;
}

// A host-side event list holding the events of one block.
struct EventList
{
    IEventListVtbl* vtbl;
    std::vector<Event> events;

    static IEventListVtbl* Table()
    {
        static IEventListVtbl table = {
            [](void* self, const std::uint8_t* iid, void** obj) -> tresult
            {
                if (SameUid(iid, kIEventList))
                {
                    *obj = self;
                    return kResultOk;
                }
                *obj = nullptr;
                return -1;
            },
            [](void*) -> std::uint32_t { return 1; },
            [](void*) -> std::uint32_t { return 1; },
            [](void* self)
            { return static_cast<std::int32_t>(static_cast<EventList*>(self)->events.size()); },
            [](void* self, std::int32_t index, Event* e) -> tresult
            {
                auto& v = static_cast<EventList*>(self)->events;
                if (index < 0 || static_cast<std::size_t>(index) >= v.size())
                    return 2;
                *e = v[static_cast<std::size_t>(index)];
                return kResultOk;
            },
            [](void* self, Event* e) -> tresult
            {
                static_cast<EventList*>(self)->events.push_back(*e);
                return kResultOk;
            }};
        return &table;
    }
    EventList() : vtbl(Table()) {}
};

class Vst3Module
{
public:
    Vst3Module() = default;
    Vst3Module(const Vst3Module&) = delete;
    Vst3Module& operator=(const Vst3Module&) = delete;
    ~Vst3Module() { Unload(); }

    // Loads the library and takes its factory; false (with the reason on standard error) when
    // either fails.
    bool Load(const char* path)
    {
        m_library = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!m_library)
        {
            std::fprintf(stderr, "%s\n", ::dlerror());
            return false;
        }
        auto moduleEntry = reinterpret_cast<bool (*)(void*)>(::dlsym(m_library, "ModuleEntry"));
        auto getFactory = reinterpret_cast<void* (*)()>(::dlsym(m_library, "GetPluginFactory"));
        if (!moduleEntry || !getFactory || !moduleEntry(m_library))
            return false;
        m_factory = getFactory();
        return m_factory != nullptr;
    }

    void Unload()
    {
        if (m_factory)
            V<IPluginFactoryVtbl>(m_factory).release(m_factory);
        m_factory = nullptr;
        if (m_library)
        {
            if (auto moduleExit = reinterpret_cast<bool (*)()>(::dlsym(m_library, "ModuleExit")))
                moduleExit();
            ::dlclose(m_library);
        }
        m_library = nullptr;
    }

    // The class id of the audio module, or false.
    bool FindAudioModule(PClassInfo& out)
    {
        auto& f = V<IPluginFactoryVtbl>(m_factory);
        for (std::int32_t i = 0; i < f.countClasses(m_factory); ++i)
        {
            PClassInfo info{};
            if (f.getClassInfo(m_factory, i, &info) == kResultOk &&
                std::string(info.category) == "Audio Module Class")
            {
                out = info;
                return true;
            }
        }
        return false;
    }

    struct Instance
    {
        void* component = nullptr;
        void* processor = nullptr;
    };

    // An initialized instance's component and processor, or nulls. context: the host application
    // handed to initialize (null: none).
    Instance Create(const PClassInfo& info, void* context = nullptr)
    {
        Instance inst;
        auto& f = V<IPluginFactoryVtbl>(m_factory);
        if (f.createInstance(m_factory, info.cid, kIComponent.bytes, &inst.component) !=
                kResultOk ||
            !inst.component)
            return {};
        auto& c = V<IComponentVtbl>(inst.component);
        if (c.initialize(inst.component, context) != kResultOk ||
            c.queryInterface(inst.component, kIAudioProcessor.bytes, &inst.processor) != kResultOk)
            return {};
        return inst;
    }

    void Start(Instance& inst)
    {
        auto& c = V<IComponentVtbl>(inst.component);
        auto& p = V<IAudioProcessorVtbl>(inst.processor);
        std::uint64_t stereo = 0x3; // left and right speakers
        EXPECT_EQ(p.setBusArrangements(inst.processor, nullptr, 0, &stereo, 1), kResultOk);
        EXPECT_EQ(c.activateBus(inst.component, kAudio, kOutput, 0, 1), kResultOk);
        EXPECT_EQ(c.activateBus(inst.component, kEvent, kInput, 0, 1), kResultOk);
        ProcessSetup setup{0, 0, kVst3Block, kVst3Rate};
        EXPECT_EQ(p.setupProcessing(inst.processor, &setup), kResultOk);
        EXPECT_EQ(c.setActive(inst.component, 1), kResultOk);
        EXPECT_EQ(p.setProcessing(inst.processor, 1), kResultOk);
    }

    // Renders frames in blocks; events go into the first block.
    void Render(Instance& inst, std::vector<Event> events, std::int32_t frames,
                std::vector<float>& left)
    {
        auto& p = V<IAudioProcessorVtbl>(inst.processor);
        std::vector<float> l(kVst3Block), r(kVst3Block);
        float* channels[2] = {l.data(), r.data()};
        for (std::int32_t done = 0; done < frames; done += kVst3Block)
        {
            EventList list;
            list.events = done == 0 ? events : std::vector<Event>{};
            AudioBusBuffers out{2, 0, channels};
            ProcessData data{};
            data.numSamples = kVst3Block;
            data.numOutputs = 1;
            data.outputs = &out;
            data.inputEvents = &list;
            ASSERT_EQ(p.process(inst.processor, &data), kResultOk);
            left.insert(left.end(), l.begin(), l.end());
        }
    }

    void Destroy(Instance& inst)
    {
        if (!inst.component)
            return;
        auto& c = V<IComponentVtbl>(inst.component);
        if (inst.processor)
        {
            V<IAudioProcessorVtbl>(inst.processor).setProcessing(inst.processor, 0);
            c.setActive(inst.component, 0);
            V<IAudioProcessorVtbl>(inst.processor).release(inst.processor);
        }
        c.terminate(inst.component);
        c.release(inst.component);
    }

    static Event NoteOn(std::int32_t offset, std::int16_t pitch)
    {
        Event e{};
        e.sampleOffset = offset;
        e.type = 0;
        e.noteOn = {0, pitch, 0.0f, 0.8f, 0, -1};
        return e;
    }

    static Event NoteOff(std::int32_t offset, std::int16_t pitch)
    {
        Event e{};
        e.sampleOffset = offset;
        e.type = 1;
        e.noteOff = {0, pitch, 0.0f, -1, 0.0f};
        return e;
    }

protected:
    void* m_library = nullptr;
    void* m_factory = nullptr;
};

} // namespace VellunaHostTest
