#include "TarnInstanceTracker.h"

#include <algorithm>
#include <mutex>

namespace
{

struct Entry
{
    TarnAdditiveSynth* instance;
    int guid;
};

std::recursive_mutex& TrackerLock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::vector<Entry>& Entries()
{
    static std::vector<Entry> entries;
    return entries;
}

} // namespace

void TarnInstanceTracker::AddInstance(TarnAdditiveSynth* instance)
{
    std::lock_guard<std::recursive_mutex> lock(TrackerLock());
    auto& entries = Entries();
    int guid = 1;
    while (std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.guid == guid; }))
        ++guid;
    entries.push_back({instance, guid});
}

void TarnInstanceTracker::RemoveInstance(TarnAdditiveSynth* instance)
{
    std::lock_guard<std::recursive_mutex> lock(TrackerLock());
    auto& entries = Entries();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return e.instance == instance; }),
                  entries.end());
}

void TarnInstanceTracker::Lock()
{
    TrackerLock().lock();
}

void TarnInstanceTracker::Unlock()
{
    TrackerLock().unlock();
}

int TarnInstanceTracker::GetGUID(const TarnAdditiveSynth* instance)
{
    std::lock_guard<std::recursive_mutex> lock(TrackerLock());
    for (const Entry& e : Entries())
        if (e.instance == instance)
            return e.guid;
    return 0;
}

std::vector<TarnAdditiveSynth*> TarnInstanceTracker::GetInstances()
{
    std::lock_guard<std::recursive_mutex> lock(TrackerLock());
    std::vector<TarnAdditiveSynth*> out;
    for (const Entry& e : Entries())
        out.push_back(e.instance);
    return out;
}

void TarnInstanceTracker::HandleMessageQueueItem(const TW::MessageQueueItem*,
                                                 TW::MusicDeviceBase*) noexcept
{
}
