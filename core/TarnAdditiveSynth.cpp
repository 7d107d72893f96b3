#include "TarnAdditiveSynth.h"

#include "FactoryPresets.h"
#include "ParameterTable.h"
#include "Preferences.h"

#include "osc/OSCHelper.h"
#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/CpuFeatures.h"
#include "platform/LogRing.h"
#include "scripting/TarnInstanceTracker.h"
#include "scripting/VeLuLuaMIDIHelper.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace TW;
using namespace Tarn;

std::atomic<int> g_OSCBasePort{kDefaultOSCBasePort};

namespace
{

// A MIDI number from a host's float: truncated toward zero, 0 when it does not fit in an int.
std::uint8_t TruncToByte(float v) noexcept
{
    if (!(v > -2147483648.0f && v < 2147483648.0f))
        return 0;
    return static_cast<std::uint8_t>(static_cast<int>(v) & 0xFF);
}

// "OSC Port Offset" truncated toward zero; 0 for values that do not fit in an int.
int TruncateOffset(float v) noexcept
{
    return v > -2147483648.0f && v < 2147483648.0f ? static_cast<int>(v) : 0;
}

template <class T> void Store(void* out, const T& value) noexcept
{
    std::memcpy(out, &value, sizeof(T));
}

const char* const kFilterTypeNames[5] = {"Thru", "Low", "Band", "High", "Thru"};

} // namespace

TarnAdditiveSynth::TarnAdditiveSynth() : MusicDeviceBase(0, 1, 0), m_engine(Globals(), m_display)
{
    m_luaHelper = std::make_unique<VeLuLuaMIDIHelper>(this, m_queue, nullptr);
    m_luaHelper->SetRemoteQueue(&m_remoteQueue);
    m_oscHelper = std::make_unique<OSCHelper>(this, m_luaHelper.get());
    m_luaHelper->SetOSCHelper(m_oscHelper.get());
    Constructor();
    LogRing::Get().AcquirePrinter();
    TarnInstanceTracker::AddInstance(this);
}

TarnAdditiveSynth::~TarnAdditiveSynth()
{
    // Script timers call into this instance from the main-loop thread: none may run once its
    // members start to go.
    m_luaHelper->CancelAllTimers();
    DoCleanup();
    TarnInstanceTracker::RemoveInstance(this);
    LogRing::Get().ReleasePrinter();
}

void TarnAdditiveSynth::Constructor()
{
    for (std::uint32_t id = 0; id < kNumParams; ++id)
        if (GetParamKind(id) == ParamKind::Live)
            Globals().SetValue(id, astParamInfos[id].defaultValue, true);
    m_display.Clear();
    SetAFactoryPresetAsCurrent(GetFactoryPresetList()[0]);
}

Status TarnAdditiveSynth::GetPresets(std::vector<Preset>* out) const
{
    if (out)
        *out = GetFactoryPresetList();
    return kNoErr;
}

Status TarnAdditiveSynth::NewFactoryPresetSet(const Preset& preset)
{
    const std::vector<Preset>& list = GetFactoryPresetList();
    const auto found = std::find_if(list.begin(), list.end(),
                                    [&](const Preset& p) { return p.number == preset.number; });
    if (found == list.end())
        return kErrInvalidPropertyValue;
    const FactoryPresetRecord& record = GetFactoryPresetTable()[found->number];
    for (ParameterID id = 0; id < kNumParams; ++id)
        if (!IsInvalidParam(id))
            AUParameterSet(nullptr, nullptr, {this, id, Scope::Global, 0}, record.values[id], 0);
    SetAFactoryPresetAsCurrent(*found);
    ApplyOSCPortRule();
    return kNoErr;
}

Status TarnAdditiveSynth::RestoreState(const ClassInfoDictionary& state)
{
    const Status status = MusicDeviceBase::RestoreState(state);
    // Both run even after a refusal; on values that the refusal left alone they change nothing
    // unless a speed above 100 Hz was set directly.
    ConvertOldLFOSpeeds();
    ApplyOSCPortRule();
    return status;
}

void TarnAdditiveSynth::ConvertOldLFOSpeeds()
{
    // Older versions saved speeds up to 10 kHz with no multiplier; keep the rate, speed x 10^m.
    for (ParameterID k = 0; k < kNumParamLFOs; ++k)
    {
        const ParameterID speedId = kParamLFO1Speed + kParamLFOStride * k;
        const ParameterID multiplierId = kParamLFO1Multiplier + kParamLFOKBStride * k;
        float stored = 0.0f;
        if (Globals().GetValue(speedId, stored) != kNoErr || !(stored > 100.0f))
            continue;
        double speed = stored;
        int multiplier = 0;
        while (speed > 100.0)
        {
            speed *= 0.1;
            ++multiplier;
        }
        AUParameterSet(nullptr, nullptr, {this, speedId, Scope::Global, 0},
                       static_cast<float>(speed), 0);
        AUParameterSet(nullptr, nullptr, {this, multiplierId, Scope::Global, 0},
                       static_cast<float>(multiplier), 0);
    }
}

bool TarnAdditiveSynth::IsRestorableParameter(Scope, Element, ParameterID id) const
{
    return id < kNumParams;
}

Status TarnAdditiveSynth::Initialize()
{
    if (!HasVectorUnit())
    {
        ShowAlert("SSE3 required",
                  "Tarnwick Velluna requires an x86-64 processor with SSE2 and SSE3");
        return kErrFailedInitialization;
    }
    m_engine.SetSampleRate(GetSampleRate());
    m_engine.Reset();
    g_OSCBasePort.store(GetPrefInt("OSC Base Port", kDefaultOSCBasePort));
    m_luaHelper->Initialize();
    m_oscHelper->Initialize();
    m_oscHelper->StartTask();
    return kNoErr;
}

void TarnAdditiveSynth::Cleanup()
{
    m_oscHelper->StopTask();
}

Status TarnAdditiveSynth::GetPropertyInfo(PropertyID id, Scope scope, Element element,
                                          std::uint32_t& outSize, bool& outWritable)
{
    switch (id)
    {
    case kPropertyCocoaUI:
        outSize = 16;
        outWritable = false;
        return kNoErr;
    case kPropertyParameterStringFromValue:
        outSize = 24;
        outWritable = false;
        return kNoErr;
    case kPropertyDisplayBlock:
    case kPropertyPrimaryAppSupportName:
    case kPropertySecondaryAppSupportName:
    case kPropertyProductName:
    case kPropertyReserved64005:
    case kPropertyReserved64006:
    case kPropertyParameterTable:
    case kPropertySecondaryGuiFilename:
        outSize = 8;
        outWritable = false;
        return kNoErr;
    case kPropertyParameterCount:
    case kPropertyOSCPortOffset:
        outSize = 4;
        outWritable = false;
        return kNoErr;
    case kPropertyReserved64008:
        outSize = 1;
        outWritable = true;
        return kNoErr;
    case kPropertyReserved64013:
        outSize = 1;
        outWritable = false;
        return kNoErr;
    default:
        return MusicDeviceBase::GetPropertyInfo(id, scope, element, outSize, outWritable);
    }
}

Status TarnAdditiveSynth::GetProperty(PropertyID id, Scope scope, Element element, void* outData)
{
    switch (id)
    {
    case kPropertyCocoaUI:
    {
        const std::string& bundle = FindPluginBundle();
        if (bundle.empty())
            return kErrResourceNotFound;
        Store(outData, TarnViewInfo{bundle.c_str(), "ComTarnPlugVeLuCocoaViewFactory"});
        return kNoErr;
    }
    case kPropertyParameterStringFromValue:
    {
        auto* request = static_cast<TarnParameterStringFromValue*>(outData);
        request->outString = nullptr;
        const ParameterID pid = request->paramID;
        float value = 0.0f;
        if (request->value)
            value = *request->value;
        else if (Globals().GetValue(pid, value) != kNoErr)
            return kErrInvalidParameter;
        switch (pid)
        {
        case kParamEnv1TimeR2:
        case kParamEnv2TimeR2:
        case kParamEnv3TimeR2:
        case kParamPWEnvRelease:
        case kParamFilterEnvRelease:
            if (value == 5.0f)
                request->outString = "Inf";
            return kNoErr;
        case kParamFilterType:
        {
            const float shifted = value + 0.5f;
            if (!(std::fabs(shifted) < 1e9f))
                return kNoErr;
            const int n = static_cast<int>(shifted);
            if (std::fabs(value - static_cast<float>(n)) < 0.005f && n >= 0 && n <= 4)
                request->outString = kFilterTypeNames[n];
            return kNoErr;
        }
        case kParamOSCPortOffset:
            if (value == 0.0f)
                request->outString = "Off";
            return kNoErr;
        default:
            return kErrInvalidParameter;
        }
    }
    case kPropertyDisplayBlock:
        Store(outData, &m_display);
        return kNoErr;
    case kPropertyPrimaryAppSupportName:
        Store(outData, GetPrimaryAppSupportName());
        return kNoErr;
    case kPropertySecondaryAppSupportName:
        Store(outData, GetSecondaryAppSupportName());
        return kNoErr;
    case kPropertyProductName:
        Store(outData, static_cast<const char*>("Velluna"));
        return kNoErr;
    case kPropertyParameterCount:
        Store(outData, kNumParams);
        return kNoErr;
    case kPropertyOSCPortOffset:
    {
        const std::int32_t p = TruncateOffset(Globals().Value(kParamOSCPortOffset));
        Store(outData, p);
        return kNoErr;
    }
    case kPropertyParameterTable:
        Store(outData, &astParamInfos[0]);
        return kNoErr;
    case kPropertySecondaryGuiFilename:
        Store(outData, GetSecondaryGuiFilename());
        return kNoErr;
    default:
        // 64005, 64006, 64008 and 64013 are advertised but not served.
        return MusicDeviceBase::GetProperty(id, scope, element, outData);
    }
}

Status TarnAdditiveSynth::SetParameter(ParameterID id, Scope scope, Element element, float value,
                                       std::uint32_t frameOffset)
{
    const Status status = MusicDeviceBase::SetParameter(id, scope, element, value, frameOffset);
    if (!std::isfinite(value))
        return status; // refused: nothing to react to or to tell subscribers
    if (scope == Scope::Global && !IsInvalidParam(id))
        HandleSetParameter(id, value);
    return status;
}

void TarnAdditiveSynth::HandleSetParameter(ParameterID id, float value)
{
    if (id == kParamOSCPortOffset)
        ApplyOSCPortOffset(value);
    m_oscHelper->NotifySetParam(static_cast<int>(id), value);
}

void TarnAdditiveSynth::ApplyOSCPortRule()
{
    ApplyOSCPortOffset(Globals().Value(kParamOSCPortOffset));
}

void TarnAdditiveSynth::ApplyOSCPortOffset(float offset)
{
    const int p = TruncateOffset(offset);
    if (p != 0)
        m_oscHelper->SetPort(static_cast<long long>(p) + g_OSCBasePort.load(),
                             g_OSCBasePort.load() < 0);
    else
        m_oscHelper->Disable();
}

Status TarnAdditiveSynth::GetParameterInfo(Scope scope, ParameterID id, ParameterInfo& outInfo)
{
    if (scope != Scope::Global)
        return kErrInvalidParameter;
    outInfo.flags = kParameterFlagIsWritable | kParameterFlagIsReadable |
                    kParameterFlagHasNameString | kParameterFlagGlobal;
    if (IsInvalidParam(id))
        return kErrInvalidParameter;
    const ParamInfo& row = astParamInfos[id];
    std::strncpy(outInfo.name, row.name, sizeof outInfo.name - 1);
    outInfo.name[sizeof outInfo.name - 1] = '\0';
    outInfo.nameString = row.name;
    outInfo.unit = row.unit;
    outInfo.minValue = row.minValue;
    outInfo.maxValue = row.maxValue;
    outInfo.defaultValue = row.defaultValue;
    if (ParamHasValueStrings(id))
        outInfo.flags |= kParameterFlagValuesHaveStrings;
    return kNoErr;
}

Status TarnAdditiveSynth::GetParameterValueStrings(Scope scope, ParameterID id,
                                                   std::vector<std::string>* out)
{
    if (!out)
        return kNoErr;
    if (scope != Scope::Global)
        return MusicDeviceBase::GetParameterValueStrings(scope, id, out);
    if (id >= kParamEnvSelect1 && id <= kParamEnvSelect16)
    {
        *out = {"None", "1", "2", "3"};
        return kNoErr;
    }
    if (id >= kParamLFO1Multiplier && id <= kParamLFO4Multiplier &&
        (id - kParamLFO1Multiplier) % kParamLFOKBStride == 0)
    {
        *out = {"1", "10", "100"};
        return kNoErr;
    }
    return MusicDeviceBase::GetParameterValueStrings(scope, id, out);
}

Status TarnAdditiveSynth::Render(std::uint32_t& ioActionFlags, const AudioTimeStamp&,
                                 std::uint32_t frames)
{
    ioActionFlags |= kRenderOutputIsSilence;
    AudioBufferList& output = GetOutputBufferList();
    if (output.numberBuffers != 2)
        return kErrFormatNotSupported;
    for (std::uint32_t b = 0; b < 2; ++b)
        if (!output.buffers[b].data || output.buffers[b].dataByteSize < frames * sizeof(float))
            return kErrFormatNotSupported;
    m_engine.SetSampleRate(GetSampleRate());
    if (!RenderBlock(static_cast<float*>(output.buffers[0].data),
                     static_cast<float*>(output.buffers[1].data), frames))
        ioActionFlags &= ~kRenderOutputIsSilence;
    return kNoErr;
}

bool TarnAdditiveSynth::RenderBlock(float* left, float* right, std::uint32_t frames) noexcept
{
    if (frames == 0)
        return true;
    bool silent = true;
    std::uint32_t cursor = 0;
    std::uint32_t remainder = frames;
    m_waitLimitFrames = static_cast<std::uint64_t>(GetSampleRate() * kScriptWaitSeconds);
    DispatchWaitingEvents();
    while (const MessageQueueItem* item = m_remoteQueue.Read())
        DispatchItem(*item);
    while (remainder != 0)
    {
        const MessageQueueItem* item = m_queue.Read();
        if (item && item->m_frame <= cursor)
        {
            DispatchItem(*item);
            continue;
        }
        const std::uint32_t n =
            item ? std::min<std::uint32_t>(item->m_frame - cursor, remainder) : remainder;
        if (m_observer)
            m_observer->OnRenderSlice(n);
        float* out[2] = {left, right};
        silent = m_engine.RenderPlayback(out, n) && silent;
        left += n;
        right += n;
        remainder -= n;
        if (!m_waiting.Empty())
            m_waitedFrames += n;
        if (item)
        {
            DispatchItem(*item);
            cursor = item->m_frame;
        }
    }
    if (m_scriptsLocked)
    {
        m_scriptsLocked = false;
        m_luaHelper->UnlockScripts();
    }
    return silent;
}

bool TarnAdditiveSynth::LockScripts() noexcept
{
    if (!m_scriptsLocked)
        m_scriptsLocked = m_luaHelper->TryLockScripts();
    if (m_scriptsLocked)
        m_withoutScripts = false;
    return m_scriptsLocked;
}

void TarnAdditiveSynth::DispatchWaitingEvents() noexcept
{
    if (m_waiting.Empty() && !m_withoutScripts)
        return; // the lock is tried when the first event of the block needs it
    if (LockScripts())
    {
        while (m_waiting.Pop(m_waitingItem))
            HandleQueueItem(m_waitingItem);
        m_waitedFrames = 0;
    }
    else if (!m_waiting.Empty() && m_waitedFrames >= m_waitLimitFrames)
        StopWaitingForScripts();
}

void TarnAdditiveSynth::DispatchItem(const MessageQueueItem& item) noexcept
{
    // Nothing of a system-exclusive item reaches the scripts: it needs no lock.
    if (item.m_kind != MessageQueueItem::kShortMessage)
        HandleQueueItem(item);
    else if (m_waiting.Empty() && LockScripts())
        HandleQueueItem(item);
    else if (m_waiting.Empty() && m_withoutScripts)
        HandleQueueItemWithoutScripts(item);
    else if (!m_waiting.Push(item))
    {
        StopWaitingForScripts();
        HandleQueueItemWithoutScripts(item);
    }
}

void TarnAdditiveSynth::StopWaitingForScripts() noexcept
{
    const std::uint32_t count = m_waiting.Size();
    while (m_waiting.Pop(m_waitingItem))
        HandleQueueItemWithoutScripts(m_waitingItem);
    m_waitedFrames = 0;
    m_withoutScripts = true;
    LogRing::Get().Format("Velluna: a script on another thread has held the script lock for over "
                          "%d ms: %u waiting MIDI events were played without their script "
                          "handlers, and so are new ones until it ends",
                          static_cast<int>(kScriptWaitSeconds * 1000.0 + 0.5), count);
}

void TarnAdditiveSynth::HandleQueueItem(const MessageQueueItem& item) noexcept
{
    if (m_observer)
        m_observer->OnQueueItem(item);
    m_luaHelper->HandleMessageQueueItem(&item);
}

void TarnAdditiveSynth::HandleQueueItemWithoutScripts(const MessageQueueItem& item) noexcept
{
    if (m_observer)
        m_observer->OnQueueItem(item);
    m_luaHelper->HandleMessageQueueItemWithoutScripts(&item);
}

Status TarnAdditiveSynth::HandleMidiEvent(std::uint8_t status, std::uint8_t channel,
                                          std::uint8_t data1, std::uint8_t data2,
                                          std::uint32_t frameOffset)
{
    return m_luaHelper->HandleMidiEvent(status, channel, data1, data2, frameOffset) ? kNoErr
                                                                                    : kErrUnknown;
}

Status TarnAdditiveSynth::HandleSysEx(const std::uint8_t* data, std::uint32_t length)
{
    return m_luaHelper->HandleSysEx(data, length) ? kNoErr : kErrUnknown;
}

Status TarnAdditiveSynth::StartNote(std::uint32_t, std::uint32_t, std::uint32_t* outNoteInstanceID,
                                    std::uint32_t frameOffset, const NoteParams& params)
{
    const std::uint8_t note = TruncToByte(params.pitch);
    const std::uint8_t velocity = TruncToByte(params.velocity);
    if (outNoteInstanceID)
        *outNoteInstanceID = note;
    return m_luaHelper->HandleMidiEvent(0x90, 0, note, velocity, frameOffset) ? kNoErr
                                                                              : kErrUnknown;
}

Status TarnAdditiveSynth::StopNote(std::uint32_t, std::uint32_t noteInstanceID,
                                   std::uint32_t frameOffset)
{
    return m_luaHelper->HandleMidiEvent(0x80, 0, static_cast<std::uint8_t>(noteInstanceID & 0xFF),
                                        0, frameOffset)
               ? kNoErr
               : kErrUnknown;
}
