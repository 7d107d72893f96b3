#include "Vst3ControllerFilter.h"

namespace TW
{

bool Vst3ControllerFilter::Pass(const std::uint8_t* data, std::uint32_t size) noexcept
{
    if (size < 2)
        return true;
    const int channel = data[0] & 0x0F;
    int slot = 0;
    std::uint16_t value = 0;
    switch (data[0] & 0xF0)
    {
    case 0xB0:
        if (size < 3)
            return true;
        slot = data[1] & 0x7F;
        if (slot >= 120 || slot == 96 || slot == 97)
            return true;
        value = data[2] & 0x7F;
        break;
    case 0xD0:
        slot = 128;
        value = data[1] & 0x7F;
        break;
    case 0xE0:
        if (size < 3)
            return true;
        slot = 129;
        value = static_cast<std::uint16_t>((data[1] & 0x7F) | ((data[2] & 0x7F) << 7));
        break;
    default:
        return true;
    }
    std::uint16_t& held = m_values[static_cast<std::size_t>(channel * kSlotsPerChannel + slot)];
    if (held == value)
        return false;
    held = value;
    return true;
}

} // namespace TW
