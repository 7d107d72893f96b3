// The system's up-time clock.
#pragma once

#include <cstdint>

namespace TW
{

// Nanoseconds since the system started (a monotonic clock that does not jump with the wall
// clock). Any thread, real-time safe.
std::uint64_t UpTimeNanoseconds() noexcept;

} // namespace TW
