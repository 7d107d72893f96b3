// Opening and closing instances the way a host does: one at a time under a process-wide lock,
// with exceptions during construction turned into statuses.
#pragma once

#include "HostStatus.h"
#include "MusicDeviceBase.h"

#include <memory>
#include <mutex>
#include <utility>

namespace TW
{

// The process-wide lock under which instances are opened and closed.
std::recursive_mutex& ComponentLock() noexcept;

// Constructs T(args...) into out. Main thread.
template <class T, class... Args> Status OpenComponent(std::unique_ptr<T>& out, Args&&... args)
{
    std::lock_guard<std::recursive_mutex> lock(ComponentLock());
    return CatchToStatus([&] {
        out = std::make_unique<T>(std::forward<Args>(args)...);
        return kNoErr;
    });
}

// Cleans up a still-initialized instance, then destroys it. Main thread.
template <class T> void CloseComponent(std::unique_ptr<T>& instance) noexcept
{
    std::lock_guard<std::recursive_mutex> lock(ComponentLock());
    if (instance)
        instance->DoCleanup();
    instance.reset();
}

} // namespace TW
