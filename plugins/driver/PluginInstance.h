// One instrument instance as every program drives it (the plug-in adapters, the standalone and
// the command line's commands): opening and closing, the host's sample rate and block size, MIDI
// at frame offsets and the render call, parameters, factory presets and saved state. Callers turn
// their own calls into these and add no DSP; this is the one place where MIDI meets the render
// call.
#pragma once

#include "PluginParameterListener.h"

#include "core/TarnAdditiveSynth.h"
#include "platform/MusicDeviceBase.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TW
{

// One MIDI message from the host, at a frame offset within the block. A message whose first
// byte is 0xF0 is a system-exclusive one; so is any message marked sysex (a continued or escaped
// block, as a MIDI file carries them, which need not start with a status byte).
struct PluginMidiMessage
{
    std::uint32_t frame = 0;
    std::uint32_t size = 0;
    const std::uint8_t* data = nullptr;
    bool sysex = false;
};

class PluginInstance
{
public:
    // Opens the instance under the process-wide component lock and registers the change
    // listener. Throws HostError when the instance cannot be opened. Main thread.
    PluginInstance();
    // Takes over an instance opened with OpenComponent and set up by the caller (sample rate,
    // block size, options, perhaps initialized already); it is closed with this object. Throws
    // HostError for a null instance. Main thread.
    explicit PluginInstance(std::unique_ptr<TarnAdditiveSynth> synth);
    ~PluginInstance();

    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    TarnAdditiveSynth& Synth() noexcept { return *m_synth; }

    // Makes the instance ready to render at this rate (Hz) and block size (frames): sets the
    // rate before the first initialization, and initializes again when the rate changes (a new
    // block size alone is only passed on; 0 leaves it as it is).
    // Returns the status of the initialization. Main thread, not while rendering.
    Status Activate(double sampleRate, std::uint32_t maxFrames);
    bool IsActive() const noexcept { return m_synth->IsInitialized(); }

    // Hands the messages to the instance's MIDI entry at their offsets (ascending), then renders
    // the block into left and right, cutting it wherever the event queue would overflow, so no
    // message is lost to a crowded block; a message that finds the queue filled by another
    // writer is applied after rendering up to its offset. Messages without a status byte are
    // skipped (unless marked sysex) and data bytes are masked to 7 bits. Offsets past the block
    // count as its last frame; a system-exclusive message lands at its offset. When more messages
    // share one frame than the queue holds, the rest follow at the next frame, in order (past the
    // block's last frame, at the start of the next call, as far as the queue holds them; beyond
    // that they are lost and counted). Writes silence when the instance cannot render (see
    // LastRenderStatus). Returns true when the block is silent. Render thread.
    bool Process(const PluginMidiMessage* messages, std::uint32_t count, float* left, float* right,
                 std::uint32_t frames) noexcept;

    // The last Process call's result: kNoErr, or the status of the first render that failed in
    // it (the instance not initialized, a failure inside the render call). Render thread, or
    // any thread while no Process runs.
    Status LastRenderStatus() const noexcept { return m_renderStatus; }
    // Frames rendered by Process since this object took the instance: the time stamp of the
    // next render call.
    double SampleTime() const noexcept { return m_sampleTime; }
    // Messages lost because the event queue stayed full (a crowd at a block's last frame larger
    // than the queue, or another writer filling it). Any thread.
    std::uint64_t MessagesLost() const noexcept
    {
        return m_messagesLost.load(std::memory_order_relaxed);
    }

    // A host's parameter change: through the notifying call, so scripts, OSC subscribers and
    // the editor see it, but not reported back to the host. Any thread.
    void SetParameter(ParameterID id, float value) noexcept;
    // The stored value, or the table's default for an identifier the store does not hold.
    float GetParameter(ParameterID id) const noexcept;

    // Changes the instrument made to itself, for the adapter to report to its host.
    PluginParameterListener& Changes() noexcept { return m_listener; }

    // Display text of a value: the instrument's value strings ("Inf", "Band", "Off"), the
    // enumeration names ("None", "10"), or the number and its unit. Main thread.
    std::string FormatValue(ParameterID id, float value);
    // The value of a display text written by FormatValue or typed by a user. Main thread.
    bool ParseValue(ParameterID id, const std::string& text, float& outValue);
    // Enumeration names of a parameter (value min+i is names[i]); empty when it has none.
    std::vector<std::string> EnumNames(ParameterID id);

    // Factory presets, as listed at opening. Main thread.
    const std::vector<Preset>& Presets() const noexcept { return m_presets; }
    Status LoadPreset(std::uint32_t index);

    // The saved state as text, empty when the instance cannot save. Main thread.
    std::string SaveState();
    // Restores text written by SaveState. Bad text changes nothing and gives a message on the
    // standard error stream. Returns the instance's status. Main thread.
    Status RestoreState(const std::string& text);

private:
    // Registers the change listener and lists the factory presets. Main thread.
    void Attach();

    std::unique_ptr<TarnAdditiveSynth> m_synth;
    PluginParameterListener m_listener;
    std::vector<Preset> m_presets;
    std::uint32_t m_maxFrames = 0;
    // Render thread.
    double m_sampleTime = 0.0;
    Status m_renderStatus = kNoErr;
    std::uint32_t m_carried = 0; // messages queued for the start of the next call
    std::atomic<std::uint64_t> m_messagesLost{0};
};

} // namespace TW
