#include "ComponentFactory.h"

namespace TW
{

std::recursive_mutex& ComponentLock() noexcept
{
    static std::recursive_mutex lock;
    return lock;
}

} // namespace TW
