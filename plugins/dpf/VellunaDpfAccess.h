// What the editor's side of the framework needs from the plug-in side in the same binary: the
// framework's parameter numbering and the instance behind a framework plug-in object.
#pragma once

#include <cstdint>

namespace TW
{

class PluginInstance;

// In VST3, framework index 0 is a placeholder output that always reads 0, hidden from hosts
// (Vst3Factory.cpp). The framework's VST3 controller takes the first plug-in parameter for one of
// its MIDI controller parameters (its range check ends one too far), so that parameter always
// reads 0 and refuses values set on the controller; a host that reads the values back, as Ardour
// does when it reopens a session, then sets it to 0 (without the placeholder that is "Volume",
// and the instrument falls silent). Indices 1..140 are the live identifiers in list order. LV2
// has no such fault: there the live identifiers start at 0 and there is no placeholder port.
#ifdef DISTRHO_PLUGIN_TARGET_LV2
constexpr std::uint32_t kFirstLiveIndex = 0;
#else
constexpr std::uint32_t kFirstLiveIndex = 1;
#endif

// The framework index of a parameter identifier, or -1 when the framework does not show it.
int DpfIndexOf(std::uint32_t id) noexcept;

// The instance of a framework plug-in object (the pointer the framework's direct access gives:
// in VST3 the component is its own edit controller, so the editor gets the processing instance
// there too), null for null. Main thread.
PluginInstance* DpfInstanceOf(void* frameworkPlugin) noexcept;

#ifdef DISTRHO_PLUGIN_TARGET_LV2
// The host's ui:resize feature (an LV2UI_Resize), for the editor being built by the host's
// instantiate call, or null; only the first call in that instantiate gets it. Host's UI thread.
const void* TakeLv2HostResize() noexcept;
#endif

} // namespace TW
