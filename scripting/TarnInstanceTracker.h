// The process-wide list of live instances, through which instances (their scripts), the OSC
// servers and the editors find one another and reach one another's parameters.
//
// Each instance has two numbers: a global one (GUID), the smallest free number from 1 at
// registration, and a local one (LUID) among the instances of the same OSC name ("Velluna"),
// the smallest free number from 1 when it is first asked for. Both are reused after their
// holders leave.
//
// One re-entrant lock guards the list. Every operation but GetUIDs takes it; the by-OSC-index
// setters and HandleTARNMessage hold it while they set other instances' parameters, so those
// instances' parameter reactions run under it and may use the tracker again on the same thread.
#pragma once

#include "TarnOSCMessage.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace TW
{
class MusicDeviceBase;
}
class TarnAdditiveSynth;

class TarnInstanceTracker
{
public:
    // Main thread: at the end of an instance's construction and first in its destruction.
    static void AddInstance(TarnAdditiveSynth* instance);
    static void RemoveInstance(TarnAdditiveSynth* instance);

    // Takes the lock and returns the registered instance whose host handle this is, keeping the
    // lock held; returns null (lock released) when there is none. Pair a non-null result with
    // Unlock. Any thread; it must not wait for another thread that needs the tracker meanwhile.
    static TarnAdditiveSynth* Lock(const TW::MusicDeviceBase* hostHandle);
    // Releases the lock taken by a successful Lock; does nothing for null.
    static void Unlock(TarnAdditiveSynth* instance);

    // The instance's LUID (assigned now if it has none) and GUID. The caller holds the lock
    // (through Lock). An unknown instance leaves both outputs unchanged.
    static void GetUIDs(TarnAdditiveSynth* instance, std::uint32_t* luid, std::uint32_t* guid);

    // Operations on every instance whose "OSC Port Offset" (truncated) is index; instances
    // whose OSC server is off all have index 0. Setters reach every match, in registration order,
    // the caller's own instance included, through the notifying parameter call. Getters answer
    // from the first match, or 0 when nothing matches. Any thread (render thread from scripts).
    static void SetParameterOnAllByOSCIndex(int index, int parameter, float value);
    static float GetParameterFromAllByOSCIndex(int index, int parameter);
    static void SetGUIBoolValueOnAllByOSCIndex(int index, int guiSwitch, int value);
    static int GetGUIBoolValueFromAllByOSCIndex(int index, int guiSwitch);

    // Sets the message's parameter to value on the instances it addresses. OSC receive thread.
    static void HandleTARNMessage(const TarnOSCMessage& message, float value);

    // The instance's GUID, 0 when it is not registered. Any thread.
    static std::uint32_t GetGUID(const TarnAdditiveSynth* instance);
    // The registered instances in registration order. Any thread.
    static std::vector<TarnAdditiveSynth*> GetInstances();

private:
    struct Record
    {
        TarnAdditiveSynth* instance;
        const char* oscName; // null until first fetched
        std::uint32_t luid;  // 0 until first asked for
        std::uint32_t guid;
    };

    static const char* GetOSCName(Record& record);
    static std::uint32_t GetLUID(Record& record);
    static int GetOSCIndex(const Record& record);
    static bool SetParameterOn(Record& record, const TarnOSCMessage& message, float value);

    static std::vector<Record> ms_instances;
    static std::recursive_mutex ms_criticalSection;
};
