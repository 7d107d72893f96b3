// Fuzzes the state reader: any byte string read as a property-list file and restored into an
// instance must either be refused with a message, leaving every stored value as it was, or be
// restored with finite values only; a parsed dictionary must survive writing and reading back.
// A restored state is then restored into a second instance, which is initialized (scripts loaded)
// and plays a note: its audio must stay finite. Never a crash, a hang or a leak.
#include "app/OfflineRenderer.h"
#include "app/RenderScore.h"
#include "core/PlistFile.h"
#include "core/TarnAdditiveSynth.h"
#include "platform/ComponentFactory.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

TarnAdditiveSynth& Instance()
{
    static std::unique_ptr<TarnAdditiveSynth> synth = []
    {
        std::unique_ptr<TarnAdditiveSynth> s;
        // Not initialized: the OSC port rule then only records the port, opening no socket.
        if (TW::OpenComponent(s) != TW::kNoErr || !s)
            std::abort();
        return s;
    }();
    return *synth;
}

// Restores the state into an instance of its own, initializes it, plays a note and checks the
// audio; cleaned up again for the next input.
void RestoreInitializeAndRender(const TW::ClassInfoDictionary& state)
{
    static TW::PluginInstance instance(
        []
        {
            // Script prints would drown the fuzzer's own output.
            if (!std::freopen("/dev/null", "w", stdout))
                std::abort();
            std::unique_ptr<TarnAdditiveSynth> s;
            if (TW::OpenComponent(s) != TW::kNoErr || !s)
                std::abort();
            s->SetSampleRate(8000.0);
            return s;
        }());
    TarnAdditiveSynth* synth = &instance.Synth();
    synth->RestoreState(state);
    // No socket: the OSC port offset is taken back to 0 before Initialize opens one.
    synth->SetParameter(180, TW::Scope::Global, 0, 0.0f, 0);
    if (synth->DoInitialize() != TW::kNoErr)
        std::abort();
    RenderScore score;
    score.AddMidi(0, 0x90, 60, 100);
    score.AddMidi(300, 0x80, 60, 0);
    score.Finish();
    OfflineRenderer renderer(instance, 256);
    std::string error;
    renderer.Render(
        score, 600,
        [](const float* left, const float* right, std::uint32_t frames)
        {
            for (std::uint32_t i = 0; i < frames; ++i)
                if (!std::isfinite(left[i]) || !std::isfinite(right[i]))
                {
                    std::fprintf(stderr, "non-finite sample after a restored state\n");
                    std::abort();
                }
            return true;
        },
        error);
    synth->DoCleanup();
    synth->NewFactoryPresetSet({0, "Defaults"});
}

std::vector<float> Snapshot(const TarnAdditiveSynth& synth)
{
    std::vector<float> values;
    for (TW::ParameterID id : synth.Globals().GetParameterList())
        values.push_back(synth.Globals().Value(id));
    return values;
}

bool SameValues(const TW::ClassInfoDictionary& a, const TW::ClassInfoDictionary& b)
{
    if (a.size() != b.size())
        return false;
    for (const auto& [key, value] : a)
    {
        const auto it = b.find(key);
        if (it == b.end() || it->second.index() != value.index())
            return false;
        if (const auto* d = std::get_if<double>(&value))
        {
            const double e = std::get<double>(it->second);
            if (!(std::isnan(*d) && std::isnan(e)) && *d != e)
                return false;
        }
        else if (!(it->second == value))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > Tarn::kMaxPlistFileBytes)
        return 0;
    TW::ClassInfoDictionary state{{"untouched", std::int64_t{1}}};
    std::string error;
    if (!Tarn::ParsePlist(reinterpret_cast<const char*>(data), size, state, error))
    {
        if (error.empty() || state.size() != 1 || !state.count("untouched"))
            std::abort();
        return 0;
    }

    TW::ClassInfoDictionary again;
    const std::string text = Tarn::WritePlist(state);
    if (!Tarn::ParsePlist(text.data(), text.size(), again, error) || !SameValues(state, again))
    {
        std::fprintf(stderr, "write/read round trip differs: %s\n", error.c_str());
        std::abort();
    }

    TarnAdditiveSynth& synth = Instance();
    const std::vector<float> before = Snapshot(synth);
    const TW::Status status = synth.RestoreState(state);
    if (status != TW::kNoErr)
    {
        // The default values hold no LFO speed above 100 Hz, so nothing may have moved.
        if (synth.GetStateError().empty() || Snapshot(synth) != before)
            std::abort();
        return 0;
    }
    for (float v : Snapshot(synth))
        if (!std::isfinite(v))
            std::abort();
    RestoreInitializeAndRender(state);
    // Back to the defaults for the next input.
    if (synth.NewFactoryPresetSet({0, "Defaults"}) != TW::kNoErr)
        std::abort();
    return 0;
}
