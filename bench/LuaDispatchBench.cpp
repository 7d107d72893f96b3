// What a MIDI message costs the render thread in the scripting host: the script lock and list
// walk with no handler, and per script handler called (with and without a parameter change).
#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"
#include "scripting/VeLuLuaMIDIHelper.h"

#include <benchmark/benchmark.h>
#include <lua.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace
{

// An initialized instance whose only script is an empty user "midi.lua" (no bundled handlers),
// plus the handler code given.
class ScriptedInstance
{
public:
    explicit ScriptedInstance(const std::string& code)
    {
        char pattern[] = "/tmp/velluna-bench-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        m_root = pattern;
        std::filesystem::create_directories(m_root + "/Tarnwick/Velluna/Scripts");
        std::ofstream(m_root + "/Tarnwick/Velluna/Scripts/midi.lua") << code;
        ::setenv("XDG_DATA_HOME", m_root.c_str(), 1);
        ::setenv("VELLUNA_LOCAL_DATA_DIR", m_root.c_str(), 1);
        if (TW::OpenComponent(m_synth) != TW::kNoErr || m_synth->DoInitialize() != TW::kNoErr)
            std::abort();
    }
    ~ScriptedInstance()
    {
        TW::CloseComponent(m_synth);
        std::filesystem::remove_all(m_root);
    }

    TW::LuaMIDIHelper& Helper() { return m_synth->LuaHelper(); }

private:
    std::string m_root;
    std::unique_ptr<TarnAdditiveSynth> m_synth;
};

TW::MessageQueueItem ControlChange(std::uint8_t controller, std::uint8_t value)
{
    TW::MessageQueueItem item;
    item.m_kind = TW::MessageQueueItem::kShortMessage;
    item.m_status = 0xB0;
    item.m_data1 = controller;
    item.m_data2 = value;
    return item;
}

// Controller 1 with state.range(0) handlers that count calls.
void BM_ScriptDispatchControlChange(benchmark::State& state)
{
    ScriptedInstance instance("n = 0\nfor i = 1, " + std::to_string(state.range(0)) +
                              " do requestCC(1, function(c, k, v) n = n + v end) end");
    const TW::MessageQueueItem item = ControlChange(1, 3);
    for (auto _ : state)
        instance.Helper().HandleMessageQueueItem(&item);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScriptDispatchControlChange)->Arg(0)->Arg(1)->Arg(8);

// One handler that maps the controller to a parameter through the notifying parameter call.
void BM_ScriptDispatchSetParameter(benchmark::State& state)
{
    ScriptedInstance instance(
        "requestCC(74, function(c, k, v) setParameter('Filter Cutoff', 50 + v * 90) end)");
    const TW::MessageQueueItem item = ControlChange(74, 64);
    for (auto _ : state)
        instance.Helper().HandleMessageQueueItem(&item);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScriptDispatchSetParameter);

} // namespace
