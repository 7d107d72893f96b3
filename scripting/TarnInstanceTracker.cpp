#include "TarnInstanceTracker.h"

#include "core/TarnAdditiveSynth.h"

#include <algorithm>
#include <cstring>

using namespace TW;

std::vector<TarnInstanceTracker::Record> TarnInstanceTracker::ms_instances;
std::recursive_mutex TarnInstanceTracker::ms_criticalSection;

namespace
{

using Guard = std::lock_guard<std::recursive_mutex>;

// A custom property of plain data; false when the instance does not serve it.
template <class T> bool GetProp(MusicDeviceBase* instance, PropertyID id, T& out)
{
    std::uint32_t size = sizeof(T);
    return instance->DispatchGetProperty(id, Scope::Global, 0, &out, &size) == kNoErr;
}

// The smallest number from 1 that is not in used.
std::uint32_t SmallestFree(std::vector<std::uint32_t>& used)
{
    std::sort(used.begin(), used.end());
    std::uint32_t n = 1;
    for (std::uint32_t u : used)
        if (u == n)
            ++n;
        else if (u > n)
            break;
    return n;
}

} // namespace

void TarnInstanceTracker::AddInstance(TarnAdditiveSynth* instance)
{
    Guard lock(ms_criticalSection);
    std::vector<std::uint32_t> used;
    used.reserve(ms_instances.size());
    for (const Record& r : ms_instances)
        used.push_back(r.guid);
    ms_instances.push_back({instance, nullptr, 0, SmallestFree(used)});
}

void TarnInstanceTracker::RemoveInstance(TarnAdditiveSynth* instance)
{
    Guard lock(ms_criticalSection);
    ms_instances.erase(std::remove_if(ms_instances.begin(), ms_instances.end(),
                                      [&](const Record& r) { return r.instance == instance; }),
                       ms_instances.end());
}

TarnAdditiveSynth* TarnInstanceTracker::Lock(const MusicDeviceBase* hostHandle)
{
    ms_criticalSection.lock();
    for (const Record& r : ms_instances)
        if (static_cast<const MusicDeviceBase*>(r.instance) == hostHandle)
            return r.instance;
    ms_criticalSection.unlock();
    return nullptr;
}

void TarnInstanceTracker::Unlock(TarnAdditiveSynth* instance)
{
    if (instance)
        ms_criticalSection.unlock();
}

const char* TarnInstanceTracker::GetOSCName(Record& record)
{
    if (!record.oscName)
    {
        const char* name = nullptr;
        if (!GetProp(record.instance, kPropertyProductName, name) || !name)
            name = "";
        record.oscName = name;
    }
    return record.oscName;
}

std::uint32_t TarnInstanceTracker::GetLUID(Record& record)
{
    if (record.luid != 0)
        return record.luid;
    const char* name = GetOSCName(record);
    std::vector<std::uint32_t> used;
    for (Record& other : ms_instances)
        if (&other != &record && other.luid != 0 && std::strcmp(GetOSCName(other), name) == 0)
            used.push_back(other.luid);
    record.luid = SmallestFree(used);
    return record.luid;
}

int TarnInstanceTracker::GetOSCIndex(const Record& record)
{
    std::int32_t index = 0;
    if (!GetProp(record.instance, kPropertyOSCPortOffset, index))
        return 0;
    return index;
}

void TarnInstanceTracker::GetUIDs(TarnAdditiveSynth* instance, std::uint32_t* luid,
                                  std::uint32_t* guid)
{
    for (Record& r : ms_instances)
        if (r.instance == instance)
        {
            const std::uint32_t l = GetLUID(r);
            if (luid)
                *luid = l;
            if (guid)
                *guid = r.guid;
            return;
        }
}

void TarnInstanceTracker::SetParameterOnAllByOSCIndex(int index, int parameter, float value)
{
    Guard lock(ms_criticalSection);
    // By position: a parameter reaction may add or remove instances on this thread.
    for (std::size_t i = 0; i < ms_instances.size(); ++i)
    {
        TarnAdditiveSynth* instance = ms_instances[i].instance;
        if (GetOSCIndex(ms_instances[i]) == index)
            AUParameterSet(nullptr, nullptr,
                           {instance, static_cast<ParameterID>(parameter), Scope::Global, 0}, value,
                           0);
    }
}

float TarnInstanceTracker::GetParameterFromAllByOSCIndex(int index, int parameter)
{
    Guard lock(ms_criticalSection);
    for (const Record& r : ms_instances)
        if (GetOSCIndex(r) == index)
        {
            // An identifier that the store does not hold reads as 0.
            float value = 0.0f;
            if (r.instance->DispatchGetParameter(static_cast<ParameterID>(parameter), Scope::Global,
                                                 0, value) != kNoErr)
                return 0.0f;
            return value;
        }
    return 0.0f;
}

void TarnInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(int index, int guiSwitch, int value)
{
    // The display block has switches 0..7 only; other numbers would write past it.
    if (guiSwitch < 0 || guiSwitch >= static_cast<int>(Tarn::kNumGUISwitches))
        return;
    Guard lock(ms_criticalSection);
    for (const Record& r : ms_instances)
    {
        Tarn::DisplayBlock* block = nullptr;
        if (GetOSCIndex(r) == index && GetProp(r.instance, kPropertyDisplayBlock, block) && block)
            block->guiSwitches[guiSwitch].store(value != 0 ? 1 : 0, std::memory_order_relaxed);
    }
}

int TarnInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(int index, int guiSwitch)
{
    if (guiSwitch < 0 || guiSwitch >= static_cast<int>(Tarn::kNumGUISwitches))
        return 0;
    Guard lock(ms_criticalSection);
    for (const Record& r : ms_instances)
        if (GetOSCIndex(r) == index)
        {
            Tarn::DisplayBlock* block = nullptr;
            if (!GetProp(r.instance, kPropertyDisplayBlock, block) || !block)
                return 0;
            return block->guiSwitches[guiSwitch].load(std::memory_order_relaxed) != 0 ? 1 : 0;
        }
    return 0;
}

bool TarnInstanceTracker::SetParameterOn(Record& record, const TarnOSCMessage& message, float value)
{
    MusicDeviceBase* instance = record.instance;
    std::uint32_t count = 0;
    if (!GetProp(instance, kPropertyParameterCount, count))
        count = 0;
    std::int64_t id = message.parameterNumber;
    if (message.parameterName)
    {
        // The instance's list of parameter names, indexed by identifier. This instrument serves
        // none, so a parameter given by name sets nothing here.
        const char* const* names = nullptr;
        if (!GetProp(instance, kPropertyReserved64005, names) || !names)
            return false;
        id = -1;
        for (std::uint32_t i = 0; i < count; ++i)
            if (names[i] && std::strcmp(names[i], message.parameterName) == 0)
            {
                id = i;
                break;
            }
        if (id < 0)
            return false;
    }
    id += message.parameterOffset;
    if (id < 0 || id >= static_cast<std::int64_t>(count))
        return false;
    AUParameterSet(nullptr, nullptr, {instance, static_cast<ParameterID>(id), Scope::Global, 0},
                   value, 0);
    return true;
}

void TarnInstanceTracker::HandleTARNMessage(const TarnOSCMessage& message, float value)
{
    Guard lock(ms_criticalSection);
    const bool single = !message.instanceName || message.instanceNumber >= 0;
    for (std::size_t i = 0; i < ms_instances.size(); ++i)
    {
        Record& r = ms_instances[i];
        bool match = false;
        if (message.instanceName)
            match = std::strcmp(GetOSCName(r), message.instanceName) == 0 &&
                    (message.instanceNumber < 0 ||
                     GetLUID(r) == static_cast<std::uint32_t>(message.instanceNumber));
        else
            match = message.instanceNumber >= 0 &&
                    r.guid == static_cast<std::uint32_t>(message.instanceNumber);
        if (!match)
            continue;
        if (SetParameterOn(ms_instances[i], message, value) && single)
            break;
    }
}

std::uint32_t TarnInstanceTracker::GetGUID(const TarnAdditiveSynth* instance)
{
    Guard lock(ms_criticalSection);
    for (const Record& r : ms_instances)
        if (r.instance == instance)
            return r.guid;
    return 0;
}

std::vector<TarnAdditiveSynth*> TarnInstanceTracker::GetInstances()
{
    Guard lock(ms_criticalSection);
    std::vector<TarnAdditiveSynth*> out;
    out.reserve(ms_instances.size());
    for (const Record& r : ms_instances)
        out.push_back(r.instance);
    return out;
}
