// VST3 carries controllers, channel pressure and the pitch wheel as parameters, one per channel
// and controller (16 x 130), which the framework turns back into MIDI messages. A host restoring
// a project sets every one of those parameters to its saved value in one block, 0 for each that
// was never moved: as MIDI that would set "Volume" to 0 through CC 7, the filter cutoff to its
// lowest through CC 74 and the pitch wheel fully down at every load. A message that leaves its
// parameter at the value it already holds is no performance, so it is dropped. Channel-mode
// messages (CC 120 to 127) and data increment and decrement (CC 96, 97) mean something each time
// they come and always pass, as does everything that is not a controller, pressure or the wheel.
#pragma once

#include <array>
#include <cstdint>

namespace TW
{

class Vst3ControllerFilter
{
public:
    // True when the message should reach the instrument. Audio thread.
    bool Pass(const std::uint8_t* data, std::uint32_t size) noexcept;

private:
    static constexpr int kSlotsPerChannel = 130; // 128 controllers, pressure, pitch wheel
    // The value each parameter holds, as the message's data (14 bits for the wheel). A host
    // sees 0 for every one until it is moved.
    std::array<std::uint16_t, 16 * kSlotsPerChannel> m_values{};
};

} // namespace TW
