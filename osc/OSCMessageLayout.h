// A bounds check of an OSC packet's layout (bundle element sizes; each message's address, type
// tags and argument sizes) made before oscpack reads it: oscpack trusts the size fields it walks,
// so a huge or negative blob size would make it read far outside the packet, and a negative
// bundle element size would keep it on the same element for ever.
#pragma once

#include <cstddef>

namespace TW
{

// True when every part of the message lies inside data[0, size). Otherwise false with a short
// reason in why. Any thread.
bool CheckOSCMessageLayout(const char* data, std::size_t size, const char*& why) noexcept;
// The same for a whole packet: a message, or a bundle (nested at most 64 deep) whose elements
// all pass. Any thread.
bool CheckOSCPacketLayout(const char* data, std::size_t size, const char*& why) noexcept;
// The packet check at a nesting depth. Any thread.
bool CheckOSCPacketLayoutAt(const char* data, std::size_t size, int depth,
                            const char*& why) noexcept;

} // namespace TW
