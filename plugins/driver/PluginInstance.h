// One instrument instance as every plug-in adapter drives it: opening and closing, the host's
// sample rate and block size, MIDI at frame offsets and the render call, parameters, factory
// presets and saved state. Adapters turn their format's calls into these and add no DSP.
#pragma once

#include "PluginParameterListener.h"

#include "core/TarnAdditiveSynth.h"
#include "platform/MusicDeviceBase.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TW
{

// One MIDI message from the host, at a frame offset within the block.
struct PluginMidiMessage
{
    std::uint32_t frame = 0;
    std::uint32_t size = 0;
    const std::uint8_t* data = nullptr;
};

class PluginInstance
{
public:
    // Opens the instance under the process-wide component lock and registers the change
    // listener. Throws HostError when the instance cannot be opened. Main thread.
    PluginInstance();
    ~PluginInstance();

    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    TarnAdditiveSynth& Synth() noexcept { return *m_synth; }

    // Makes the instance ready to render at this rate (Hz) and block size (frames): sets the
    // rate before the first initialization, and initializes again when the rate changes (a new
    // block size alone is only passed on).
    // Returns the status of the initialization. Main thread, not while rendering.
    Status Activate(double sampleRate, std::uint32_t maxFrames);
    bool IsActive() const noexcept { return m_synth->IsInitialized(); }

    // Hands the messages to the instance's MIDI entry at their offsets (ascending), then renders
    // the block into left and right. A message that finds the event queue full is applied after
    // rendering up to its offset. Writes silence when the instance cannot render. Returns true
    // when the block is silent. Render thread.
    bool Process(const PluginMidiMessage* messages, std::uint32_t count, float* left, float* right,
                 std::uint32_t frames) noexcept;

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
    std::unique_ptr<TarnAdditiveSynth> m_synth;
    PluginParameterListener m_listener;
    std::vector<Preset> m_presets;
    std::uint32_t m_maxFrames = 0;
};

} // namespace TW
