// Our host base for a music device: what an instrument instance needs of a plug-in host,
// independent of any plug-in format. Format adapters drive it through the Do... entry points.
#pragma once

#include "AudioTypes.h"
#include "ClassInfoDictionary.h"
#include "HostStatus.h"
#include "ParameterElement.h"
#include "ParameterInfo.h"
#include "ParameterListener.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace TW
{

// Standard property numbers served by the base.
constexpr PropertyID kPropertyClassInfo = 0;
constexpr PropertyID kPropertySampleRate = 2;
constexpr PropertyID kPropertyParameterList = 3;
constexpr PropertyID kPropertyParameterInfo = 4;
constexpr PropertyID kPropertyLatency = 12;
constexpr PropertyID kPropertySupportedNumChannels = 13;
constexpr PropertyID kPropertyMaximumFramesPerSlice = 14;
constexpr PropertyID kPropertyTailTime = 20;

// A preset as the host lists it: number (-1 for a user state) and name.
struct Preset
{
    std::int32_t number = -1;
    std::string name;
};

class MusicDeviceBase
{
public:
    static constexpr std::uint32_t kMaxListeners = 16;
    static constexpr double kDefaultSampleRate = 44100.0;
    static constexpr std::uint32_t kDefaultMaxFramesPerSlice = 1156;

    MusicDeviceBase(std::uint32_t numInputs, std::uint32_t numOutputs, std::uint32_t numGroups);
    virtual ~MusicDeviceBase();

    MusicDeviceBase(const MusicDeviceBase&) = delete;
    MusicDeviceBase& operator=(const MusicDeviceBase&) = delete;

    // ---- Entry points for hosts and adapters: exceptions become statuses. ----

    // Main thread.
    Status DoInitialize() noexcept;
    // Main thread. Does nothing when not initialized.
    void DoCleanup() noexcept;
    bool IsInitialized() const noexcept { return m_initialized; }

    // Main thread.
    Status DispatchGetPropertyInfo(PropertyID id, Scope scope, Element element,
                                   std::uint32_t* outSize, bool* outWritable) noexcept;
    // ioSize holds the caller's buffer size and receives the bytes written. Main thread.
    Status DispatchGetProperty(PropertyID id, Scope scope, Element element, void* outData,
                               std::uint32_t* ioSize) noexcept;
    Status DispatchSetProperty(PropertyID id, Scope scope, Element element, const void* data,
                               std::uint32_t size) noexcept;

    // Any thread.
    Status DispatchSetParameter(ParameterID id, Scope scope, Element element, float value,
                                std::uint32_t frameOffset) noexcept;
    Status DispatchGetParameter(ParameterID id, Scope scope, Element element,
                                float& outValue) const noexcept;

    // Render thread. Hands the host's output buffers to Render through the output bus.
    Status DoRender(std::uint32_t& ioActionFlags, const AudioTimeStamp& timeStamp,
                    std::uint32_t frames, AudioBufferList& output) noexcept;

    // ---- Operations an instrument overrides. ----

    virtual std::uint32_t Version() const { return 0; }
    virtual Status Initialize() { return kNoErr; }
    virtual void Cleanup() {}

    virtual Status GetPropertyInfo(PropertyID id, Scope scope, Element element,
                                   std::uint32_t& outSize, bool& outWritable);
    virtual Status GetProperty(PropertyID id, Scope scope, Element element, void* outData);
    virtual Status SetProperty(PropertyID id, Scope scope, Element element, const void* data,
                               std::uint32_t size);

    // Writes into the store without clamping: see ParameterElement::SetValue.
    virtual Status SetParameter(ParameterID id, Scope scope, Element element, float value,
                                std::uint32_t frameOffset);
    virtual Status GetParameterInfo(Scope scope, ParameterID id, ParameterInfo& outInfo);
    // out may be null: then only report whether strings exist.
    virtual Status GetParameterValueStrings(Scope scope, ParameterID id,
                                            std::vector<std::string>* out);

    virtual Status Render(std::uint32_t& ioActionFlags, const AudioTimeStamp& timeStamp,
                          std::uint32_t frames);

    // The class-info dictionary: "version" 0, "type", "subtype", "manufacturer" as integers,
    // "data" (see StateData.h) and "name", the current preset's name. Main thread.
    virtual Status SaveState(ClassInfoDictionary& outState);
    // Checks the whole dictionary first and refuses (kErrInvalidPropertyValue, reason in
    // GetStateError()) one with a "part" key, a version other than 0, a missing key, a foreign
    // subtype or manufacturer, or a bad "data" block; then nothing has changed. Otherwise writes
    // every value straight into the store (no SetParameter, no clamping; identifiers that the
    // initialized store does not hold are ignored) and makes the saved name the current preset,
    // number -1. Main thread.
    virtual Status RestoreState(const ClassInfoDictionary& state);
    // Why the last RestoreState refused its dictionary; empty after a success. Main thread.
    const std::string& GetStateError() const noexcept { return m_stateError; }
    // out may be null: then only report whether factory presets exist.
    virtual Status GetPresets(std::vector<Preset>* out) const;
    virtual Status NewFactoryPresetSet(const Preset& preset);

    virtual bool StreamFormatWritable(Scope, Element) { return false; }
    virtual std::vector<ChannelInfo> SupportedNumChannels() const { return {}; }
    virtual double GetLatency() const { return 0.0; }
    virtual double GetTailTime() const { return 0.0; }

    // MIDI and note entry points. Any thread that the host chooses for MIDI.
    virtual Status HandleMidiEvent(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                                   std::uint8_t data2, std::uint32_t frameOffset);
    virtual Status HandleSysEx(const std::uint8_t* data, std::uint32_t length);
    virtual Status StartNote(std::uint32_t instrument, std::uint32_t group,
                             std::uint32_t* outNoteInstanceID, std::uint32_t frameOffset,
                             const NoteParams& params);
    virtual Status StopNote(std::uint32_t group, std::uint32_t noteInstanceID,
                            std::uint32_t frameOffset);
    virtual Status PrepareInstrument(std::uint32_t) { return kNoErr; }
    virtual Status ReleaseInstrument(std::uint32_t) { return kNoErr; }

    // Splits a raw MIDI status byte and calls HandleMidiEvent. Any MIDI thread.
    Status MidiEvent(std::uint8_t statusByte, std::uint8_t data1, std::uint8_t data2,
                     std::uint32_t frameOffset);

    // ---- Services for the instrument. ----

    // The parameter store of scope and element; throws HostError for a missing one.
    ParameterElement& GetElement(Scope scope, Element element);
    const ParameterElement& GetElement(Scope scope, Element element) const;
    ParameterElement& Globals() noexcept { return m_globals; }
    const ParameterElement& Globals() const noexcept { return m_globals; }

    // The stored global value; throws HostError(kErrInvalidParameter) when it is not held.
    float GetParameter(ParameterID id) const;

    // Sample rate of the output stream, in Hz. Set by the host while not rendering.
    double GetSampleRate() const noexcept { return m_sampleRate; }
    void SetSampleRate(double hz);
    std::uint32_t GetMaxFramesPerSlice() const noexcept { return m_maxFramesPerSlice; }

    // The output bus's buffers during Render.
    AudioBufferList& GetOutputBufferList() noexcept { return *m_output; }

    // Preset bookkeeping. Main thread.
    void SetAFactoryPresetAsCurrent(const Preset& preset);
    void SetCurrentPreset(const Preset& preset) { m_currentPreset = preset; }
    const Preset& GetCurrentPreset() const noexcept { return m_currentPreset; }

    // Listeners told of every change through AUParameterSet. Adding and removing happen on the
    // main thread; notification may run on any thread and never blocks.
    bool AddParameterListener(ParameterListener* listener) noexcept;
    void RemoveParameterListener(ParameterListener* listener) noexcept;
    void NotifyParameterListeners(ParameterListener* sender, void* sendingObject,
                                  const ParameterAddress& address, float value) noexcept;

    // Component type codes for the saved state ('aumu', subtype, manufacturer).
    virtual std::uint32_t ComponentType() const { return 0x61756D75; } // 'aumu'
    virtual std::uint32_t ComponentSubType() const { return 0; }
    virtual std::uint32_t ComponentManufacturer() const { return 0; }

    std::uint32_t NumInputs() const noexcept { return m_numInputs; }
    std::uint32_t NumOutputs() const noexcept { return m_numOutputs; }

protected:
    // Whether a saved state may carry this identifier; a state with any other is refused.
    virtual bool IsRestorableParameter(Scope, Element, ParameterID id) const
    {
        return id < ParameterElement::kCapacity;
    }

private:
    std::uint32_t m_numInputs;
    std::uint32_t m_numOutputs;
    std::uint32_t m_numGroups;
    // Read by script timers and OSC threads (SetParameter) while Initialize runs.
    std::atomic<bool> m_initialized{false};
    double m_sampleRate = kDefaultSampleRate;
    std::uint32_t m_maxFramesPerSlice = kDefaultMaxFramesPerSlice;
    ParameterElement m_globals;
    AudioBufferList m_emptyOutput;
    AudioBufferList* m_output = &m_emptyOutput;
    static constexpr std::size_t kPresetNameRoom = 64; // bytes reserved for the current name
    Preset m_currentPreset;
    std::string m_stateError;
    std::array<std::atomic<ParameterListener*>, kMaxListeners> m_listeners;
    std::atomic<int> m_notifying{0};
};

// The notifying parameter call: sets the value through the unit's SetParameter, then tells every
// listener of that unit except the sending one. Any thread.
Status AUParameterSet(ParameterListener* sendingListener, void* sendingObject,
                      const ParameterAddress& address, float value,
                      std::uint32_t frameOffset) noexcept;

} // namespace TW
