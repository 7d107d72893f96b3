// A bounds check of one OSC message's layout (address, type tags, argument sizes) made before
// oscpack reads it: oscpack trusts a blob's size field when it walks the arguments, so a packet
// with a huge or negative blob size would make it read far outside the packet.
#pragma once

#include <cstddef>

namespace TW
{

// True when every part of the message lies inside data[0, size). Otherwise false with a short
// reason in why. Any thread.
bool CheckOSCMessageLayout(const char* data, std::size_t size, const char*& why) noexcept;

} // namespace TW
