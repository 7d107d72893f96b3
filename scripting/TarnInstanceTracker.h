// The process-wide list of live instances, through which instances find one another.
#pragma once

#include "core/MessageQueueItem.h"

#include <vector>

namespace TW
{
class MusicDeviceBase;
}
class TarnAdditiveSynth;

class TarnInstanceTracker
{
public:
    // Main thread. Registers with the smallest free instance number (GUID), from 1.
    static void AddInstance(TarnAdditiveSynth* instance);
    static void RemoveInstance(TarnAdditiveSynth* instance);

    // The process-wide re-entrant lock around the instance list. Any thread.
    static void Lock();
    static void Unlock();

    // The instance's GUID, 0 when not registered.
    static int GetGUID(const TarnAdditiveSynth* instance);
    static std::vector<TarnAdditiveSynth*> GetInstances();

    // Render thread: a hook for every handled short MIDI message; it has no effect.
    static void HandleMessageQueueItem(const TW::MessageQueueItem* item,
                                       TW::MusicDeviceBase* instance) noexcept;
};
