// The plug-in framework's view of one Velluna instance (LV2, VST3 and the JACK standalone). It
// only turns the framework's calls into calls of the instance; parameter metadata, presets and
// state all come from the instrument.
#include "DistrhoPlugin.hpp"

#include "VellunaDpfAccess.h"

#include "core/ParameterTable.h"
#include "core/VellunaVersion.h"
#include "plugins/driver/PluginInstance.h"
#include "plugins/driver/PluginParameterMap.h"
#ifdef DISTRHO_PLUGIN_TARGET_VST3
#include "Vst3ControllerFilter.h"
#endif

#include <cctype>
#include <cstdio>
#include <exception>
#include <vector>

START_NAMESPACE_DISTRHO

namespace
{

using TW::kFirstLiveIndex;
constexpr const char* kStateKey = "state";

#ifdef DISTRHO_PLUGIN_TARGET_LV2
// LV2 versions have no major number, and an odd minor number marks a development release. Ours
// are releases: lv2:minorVersion is 2 x (10 x major + minor), 22 for 1.1, and lv2:microVersion
// the patch number, so 1.1.1 reads 22.1 and later versions always compare greater. The framework
// writes the minor number as given when the major one is 0 (it adds 2 otherwise).
static_assert(Tarn::kVersionMinor < 10, "the LV2 version needs another mapping");
constexpr uint32_t kVersion =
    d_version(0, 2 * (10 * Tarn::kVersionMajor + Tarn::kVersionMinor), Tarn::kVersionPatch);
static_assert(2 * (10 * Tarn::kVersionMajor + Tarn::kVersionMinor) <= 0xff);
#else
constexpr uint32_t kVersion =
    d_version(Tarn::kVersionMajor, Tarn::kVersionMinor, Tarn::kVersionPatch);
#endif

#ifdef DISTRHO_PLUGIN_TARGET_LV2
// The framework hands a parameter change request to the LV2 host's change-request feature with
// the parameter's index, but that feature takes a port index: the parameters' ports come after
// the audio outputs and the event input and output ports.
constexpr uint32_t kRequestIndexOffset = DISTRHO_PLUGIN_NUM_INPUTS + DISTRHO_PLUGIN_NUM_OUTPUTS + 2;
#else
constexpr uint32_t kRequestIndexOffset = 0;
#endif

// Opens the instance before the framework's base is built, so that the number of programs can
// come from the instance's preset list.
struct InstanceHolder
{
    // Saving the state is logically const for the framework but goes through the instance.
    mutable TW::PluginInstance m_instance;
};

} // namespace

class VellunaDpfPlugin : private InstanceHolder, public Plugin
{
public:
    VellunaDpfPlugin()
        : InstanceHolder(), Plugin(kFirstLiveIndex + TW::PluginParameterMap::Count(),
                                   static_cast<uint32_t>(m_instance.Presets().size()), 1)
    {
        // The framework may run the instance before any sample rate callback.
        if (!isDummyInstance())
            m_instance.Activate(getSampleRate(), getBufferSize());
        // Changes made before the host listens are not news to it.
        m_instance.Changes().Clear();
    }

    // The instance, for the editor. Main thread.
    TW::PluginInstance& Instance() noexcept { return m_instance; }

protected:
    const char* getLabel() const override { return "Velluna"; }
    const char* getDescription() const override
    {
        return "Polyphonic additive synthesizer: sixteen harmonic partials per voice with "
               "partial envelopes, LFOs, pulse-width bending, a resonant filter per note and a "
               "stereo modulation effect, scriptable in Lua and remote-controlled over OSC.";
    }
    const char* getMaker() const override { return "Tarnwick"; }
    const char* getHomePage() const override { return "https://tarnwick.example/velluna"; }
    // SPDX identifier; the framework writes it as the licence's URL in the LV2 metadata.
    const char* getLicense() const override { return "GPL-3.0-or-later"; }
    uint32_t getVersion() const override { return kVersion; }
    int64_t getUniqueId() const override { return d_cconst('V', 'e', 'L', 'u'); }

    void initAudioPort(bool input, uint32_t index, AudioPort& port) override
    {
        Plugin::initAudioPort(input, index, port);
        port.groupId = kPortGroupStereo;
    }

    void initParameter(uint32_t index, Parameter& parameter) override
    {
        if (index < kFirstLiveIndex)
        {
            parameter.hints = kParameterIsOutput;
            parameter.name = "Reserved";
            parameter.symbol = "reserved";
            parameter.ranges = ParameterRanges(0.0f, 0.0f, 1.0f);
            return;
        }
        const TW::ParameterID id = TW::PluginParameterMap::IdAt(index - kFirstLiveIndex);
        const Tarn::ParamInfo& info = Tarn::astParamInfos[id];

        // The OSC port offset re-binds a network socket: not something to automate.
        parameter.hints = id == Tarn::kParamOSCPortOffset ? 0u : kParameterIsAutomatable;
        if (TW::PluginParameterMap::IsBoolean(id))
            parameter.hints |= kParameterIsBoolean | kParameterIsInteger;
        else if (TW::PluginParameterMap::IsStepped(id))
            parameter.hints |= kParameterIsInteger;
        parameter.name = info.name;
        parameter.symbol = TW::PluginParameterMap::Symbol(id).c_str();
        parameter.unit = TW::PluginParameterMap::UnitText(id);
        parameter.ranges = ParameterRanges(info.defaultValue, info.minValue, info.maxValue);
        parameter.groupId = TW::PluginParameterMap::SectionIndex(id);
        InitEnumeration(id, parameter.enumValues);
    }

    void initPortGroup(uint32_t groupId, PortGroup& group) override
    {
        const char* name = TW::PluginParameterMap::SectionName(groupId);
        group.name = name;
        String symbol;
        for (const char* c = name; *c; ++c)
        {
            const char ch = std::isalnum(static_cast<unsigned char>(*c))
                                ? static_cast<char>(std::tolower(static_cast<unsigned char>(*c)))
                                : '_';
            const char one[2] = {ch, '\0'};
            symbol += one;
        }
        group.symbol = symbol;
    }

    void initProgramName(uint32_t index, String& programName) override
    {
        const auto& presets = m_instance.Presets();
        programName = index < presets.size() ? presets[index].name.c_str() : "";
    }

    void initState(uint32_t, State& state) override
    {
        state.key = kStateKey;
        state.defaultValue = "";
        state.label = "Velluna state";
        state.hints = kStateIsOnlyForDSP;
    }

    // Any thread, the audio thread included.
    float getParameterValue(uint32_t index) const override
    {
        if (index < kFirstLiveIndex)
            return 0.0f;
        return m_instance.GetParameter(TW::PluginParameterMap::IdAt(index - kFirstLiveIndex));
    }

    void setParameterValue(uint32_t index, float value) override
    {
        if (index < kFirstLiveIndex)
            return;
        m_instance.SetParameter(TW::PluginParameterMap::IdAt(index - kFirstLiveIndex), value);
    }

    // Main thread: a factory preset, set through the instrument's notifying parameter call.
    void loadProgram(uint32_t index) override
    {
        if (m_instance.LoadPreset(index) == TW::kNoErr)
            // The framework reads every parameter back after a program change itself.
            m_instance.Changes().Clear();
    }

    String getState(const char* key) const override
    {
        if (String(key) != kStateKey)
            return String();
        return String(m_instance.SaveState().c_str());
    }

    void setState(const char* key, const char* value) override
    {
        if (String(key) != kStateKey || value == nullptr || value[0] == '\0')
            return;
        m_instance.RestoreState(value);
    }

    // Main thread, while deactivated.
    void sampleRateChanged(double newSampleRate) override
    {
        m_instance.Activate(newSampleRate, getBufferSize());
    }
    void bufferSizeChanged(uint32_t newBufferSize) override
    {
        m_instance.Activate(getSampleRate(), newBufferSize);
    }
    void activate() override { m_instance.Activate(getSampleRate(), getBufferSize()); }

    // Audio thread.
    void run(const float**, float** outputs, uint32_t frames, const MidiEvent* midiEvents,
             uint32_t midiEventCount) override
    {
        m_midi.clear();
        for (uint32_t i = 0; i < midiEventCount && m_midi.size() < m_midi.capacity(); ++i)
        {
            const MidiEvent& e = midiEvents[i];
            const uint8_t* data = e.size > MidiEvent::kDataSize ? e.dataExt : e.data;
#ifdef DISTRHO_PLUGIN_TARGET_VST3
            if (!m_controllers.Pass(data, e.size))
                continue;
#endif
            m_midi.push_back({e.frame, e.size, data});
        }
        m_instance.Process(m_midi.data(), static_cast<uint32_t>(m_midi.size()), outputs[0],
                           outputs[1], frames);
        ReportChanges();
    }

private:
    // Tells the host of parameter changes that the instrument made itself (scripts, OSC,
    // presets loaded by a script, other instances). Audio thread.
    void ReportChanges() noexcept
    {
        m_instance.Changes().TakeChanges(
            [this](uint32_t id)
            {
                const int position = TW::PluginParameterMap::IndexOf(id);
                if (position >= 0)
                    requestParameterValueChange(kRequestIndexOffset + kFirstLiveIndex +
                                                    static_cast<uint32_t>(position),
                                                m_instance.GetParameter(id));
            });
    }

    // Enumerations: the instrument's value strings for indexed parameters; named points
    // ("Inf", filter types, "Off") on the others.
    void InitEnumeration(TW::ParameterID id, ParameterEnumerationValues& out)
    {
        const Tarn::ParamInfo& info = Tarn::astParamInfos[id];
        std::vector<std::pair<float, std::string>> points;
        const std::vector<std::string> names = m_instance.EnumNames(id);
        for (std::size_t i = 0; i < names.size(); ++i)
            points.emplace_back(info.minValue + static_cast<float>(i), names[i]);
        const bool restricted = !points.empty();
        if (points.empty() && Tarn::ParamHasValueStrings(id))
            for (float v = info.minValue; v <= info.maxValue; v += 1.0f)
            {
                const std::string text = m_instance.FormatValue(id, v);
                if (!text.empty() && !std::isdigit(static_cast<unsigned char>(text[0])) &&
                    text[0] != '-')
                    points.emplace_back(v, text);
            }
        if (points.empty())
            return;
        out.count = static_cast<uint8_t>(points.size());
        out.restrictedMode = restricted;
        out.values = new ParameterEnumerationValue[points.size()];
        for (std::size_t i = 0; i < points.size(); ++i)
        {
            out.values[i].value = points[i].first;
            out.values[i].label = points[i].second.c_str();
        }
    }

#ifdef DISTRHO_PLUGIN_TARGET_VST3
    TW::Vst3ControllerFilter m_controllers;
#endif
    std::vector<TW::PluginMidiMessage> m_midi = []
    {
        std::vector<TW::PluginMidiMessage> v;
        v.reserve(1024); // MIDI messages per block; more are dropped
        return v;
    }();

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VellunaDpfPlugin)
};

Plugin* createPlugin()
{
    try
    {
        return new VellunaDpfPlugin();
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "Velluna: the instance cannot be opened (%s)\n", e.what());
        return nullptr;
    }
}

END_NAMESPACE_DISTRHO

int TW::DpfIndexOf(std::uint32_t id) noexcept
{
    const int position = PluginParameterMap::IndexOf(id);
    return position < 0 ? -1 : static_cast<int>(kFirstLiveIndex) + position;
}

TW::PluginInstance* TW::DpfInstanceOf(void* frameworkPlugin) noexcept
{
    if (!frameworkPlugin)
        return nullptr;
    return &static_cast<DISTRHO::VellunaDpfPlugin*>(static_cast<DISTRHO::Plugin*>(frameworkPlugin))
                ->Instance();
}
