// One instance of the instrument: what a host opens, initializes, feeds with MIDI and parameter
// changes, and pulls audio from.
#pragma once

#include "DisplayBlock.h"
#include "InstrumentConstants.h"
#include "MessageQueue.h"
#include "TarnProperty.h"
#include "TarnWaitingEvents.h"
#include "core/VellunaVersion.h"

#include "engine/TarnSynthEngine.h"
#include "platform/MusicDeviceBase.h"

#include <atomic>
#include <memory>

namespace TW
{
class OSCHelper;
}

// Data of property 31.
struct TarnViewInfo
{
    const char* bundleLocation;   // the plug-in bundle folder; valid for the process's life
    const char* factoryClassName; // "ComTarnPlugVeLuCocoaViewFactory"
};
static_assert(sizeof(TarnViewInfo) == 16);

// Data of property 33. outString points to a constant string or is null when there is none.
struct TarnParameterStringFromValue
{
    TW::ParameterID paramID;
    const float* value; // null: use the current value
    const char* outString;
};
static_assert(sizeof(TarnParameterStringFromValue) == 24);

// The process-wide OSC base port; every Initialize re-reads it from the preferences.
extern std::atomic<int> g_OSCBasePort;

// Sees the block renderer cut a block; used by tests and diagnostics. Render thread.
class TarnRenderObserver
{
public:
    virtual ~TarnRenderObserver() = default;
    virtual void OnRenderSlice(unsigned frames) = 0;
    virtual void OnQueueItem(const TW::MessageQueueItem& item) = 0;
};

class TarnAdditiveSynth : public TW::MusicDeviceBase
{
public:
    class VeLuLuaMIDIHelper;

    // Longest time, in seconds of rendered audio, that MIDI events wait for their script handlers
    // while a script runs on another thread (a timer, an OSC "/exec"). Past it the waiting events
    // get the instrument's own handling without their script handlers, and so does every event
    // until the render thread finds the script lock free again.
    static constexpr double kScriptWaitSeconds = 0.05;

    TarnAdditiveSynth();
    ~TarnAdditiveSynth() override;

    std::uint32_t Version() const override { return Tarn::kVersion; }
    TW::Status Initialize() override;
    void Cleanup() override;

    TW::Status GetPropertyInfo(TW::PropertyID id, TW::Scope scope, TW::Element element,
                               std::uint32_t& outSize, bool& outWritable) override;
    TW::Status GetProperty(TW::PropertyID id, TW::Scope scope, TW::Element element,
                           void* outData) override;

    TW::Status SetParameter(TW::ParameterID id, TW::Scope scope, TW::Element element, float value,
                            std::uint32_t frameOffset) override;
    TW::Status GetParameterInfo(TW::Scope scope, TW::ParameterID id,
                                TW::ParameterInfo& outInfo) override;
    TW::Status GetParameterValueStrings(TW::Scope scope, TW::ParameterID id,
                                        std::vector<std::string>* out) override;

    TW::Status Render(std::uint32_t& ioActionFlags, const TW::AudioTimeStamp& timeStamp,
                      std::uint32_t frames) override;

    // The 32 factory presets; out may be null. Main thread.
    TW::Status GetPresets(std::vector<TW::Preset>* out) const override;
    // Sets every identifier but the invalid ones through the notifying parameter call, marks
    // the preset current, then applies the OSC port rule. -10851 for an unknown number.
    // Main thread.
    TW::Status NewFactoryPresetSet(const TW::Preset& preset) override;
    // The base restore, then, whatever it returned, the conversion of old LFO speeds above
    // 100 Hz into speed and multiplier, then the OSC port rule. Main thread.
    TW::Status RestoreState(const TW::ClassInfoDictionary& state) override;

    bool StreamFormatWritable(TW::Scope, TW::Element) override { return true; }
    std::vector<TW::ChannelInfo> SupportedNumChannels() const override { return {{0, 2}}; }
    std::uint32_t ComponentSubType() const override { return Tarn::kComponentSubType; }
    std::uint32_t ComponentManufacturer() const override { return Tarn::kComponentManufacturer; }

    // MIDI entry: everything is queued for the render thread. -1 when the queue is full.
    TW::Status HandleMidiEvent(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                               std::uint8_t data2, std::uint32_t frameOffset) override;
    TW::Status HandleSysEx(const std::uint8_t* data, std::uint32_t length) override;
    TW::Status StartNote(std::uint32_t instrument, std::uint32_t group,
                         std::uint32_t* outNoteInstanceID, std::uint32_t frameOffset,
                         const TW::NoteParams& params) override;
    TW::Status StopNote(std::uint32_t group, std::uint32_t noteInstanceID,
                        std::uint32_t frameOffset) override;

    int GetNumCustomUIComponents() const { return 1; }

    virtual const char* GetPrimaryAppSupportName() const { return "Velluna"; }
    virtual const char* GetSecondaryAppSupportName() const { return "Velluna"; }
    virtual const char* GetSecondaryGuiFilename() const { return nullptr; }

    // The instrument's reaction to a parameter change: the OSC port rule, then the OSC change
    // notification. Any thread that sets parameters.
    void HandleSetParameter(TW::ParameterID id, float value);

    // The OSC port rule for the current value of "OSC Port Offset". Main thread.
    void ApplyOSCPortRule();
    void ApplyOSCPortOffset(float offset);

    // Cuts the block at the queued events' offsets; true when the whole block was silent. It
    // never waits for the script lock: while another thread holds it, the events wait in order
    // and are handled at the start of a following block (see kScriptWaitSeconds). Render thread.
    bool RenderBlock(float* left, float* right, std::uint32_t frames) noexcept;

    // Events waiting for the script lock now. Render thread (or while no render call runs).
    std::uint32_t GetWaitingEventCount() const noexcept { return m_waiting.Size(); }

    Tarn::TarnSynthEngine& Engine() noexcept { return m_engine; }
    Tarn::DisplayBlock& GetDisplayBlock() noexcept { return m_display; }
    TW::MessageQueue& Queue() noexcept { return m_queue; }
    VeLuLuaMIDIHelper& LuaHelper() noexcept { return *m_luaHelper; }
    TW::OSCHelper& OSC() noexcept { return *m_oscHelper; }

    // Set while no render call runs. Null to remove.
    void SetRenderObserver(TarnRenderObserver* observer) noexcept { m_observer = observer; }

protected:
    bool IsRestorableParameter(TW::Scope, TW::Element, TW::ParameterID id) const override;

private:
    void Constructor();
    void ConvertOldLFOSpeeds();
    // The render thread's dispatch of one item: at once when the script lock can be had, else
    // put aside in order (or, past the wait bound, without scripts).
    void DispatchItem(const TW::MessageQueueItem& item) noexcept;
    // At the start of a block: the events put aside, at frame 0, once the lock is free.
    void DispatchWaitingEvents() noexcept;
    // The waiting events, then every event until the lock is free again, without scripts.
    void StopWaitingForScripts() noexcept;
    bool LockScripts() noexcept;
    void HandleQueueItem(const TW::MessageQueueItem& item) noexcept;
    void HandleQueueItemWithoutScripts(const TW::MessageQueueItem& item) noexcept;

    std::unique_ptr<VeLuLuaMIDIHelper> m_luaHelper;
    std::unique_ptr<TW::OSCHelper> m_oscHelper;
    TW::MessageQueue m_queue;       // the host's MIDI
    TW::MessageQueue m_remoteQueue; // notes sent over OSC, taken at the start of each block
    Tarn::DisplayBlock m_display;
    Tarn::TarnSynthEngine m_engine;
    TarnRenderObserver* m_observer = nullptr;

    // Render thread only.
    TarnWaitingEvents m_waiting;         // events put aside while a script runs elsewhere
    TW::MessageQueueItem m_waitingItem;  // the one taken from m_waiting for dispatch
    std::uint64_t m_waitedFrames = 0;    // frames rendered since the oldest one was put aside
    std::uint64_t m_waitLimitFrames = 0; // kScriptWaitSeconds at the current rate
    bool m_scriptsLocked = false;        // the script lock is ours until the end of the block
    bool m_withoutScripts = false;       // the wait bound passed; events play without scripts
};
