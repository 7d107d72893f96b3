#include "UpTime.h"

#include <time.h>

namespace TW
{

std::uint64_t UpTimeNanoseconds() noexcept
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ull +
           static_cast<std::uint64_t>(ts.tv_nsec);
}

} // namespace TW
