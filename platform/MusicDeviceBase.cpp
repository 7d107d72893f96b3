#include "MusicDeviceBase.h"

#include "StateData.h"

#include <cmath>
#include <cstring>
#include <thread>
#include <utility>

namespace TW
{

MusicDeviceBase::MusicDeviceBase(std::uint32_t numInputs, std::uint32_t numOutputs,
                                 std::uint32_t numGroups)
    : m_numInputs(numInputs), m_numOutputs(numOutputs), m_numGroups(numGroups)
{
    for (auto& slot : m_listeners)
        slot.store(nullptr, std::memory_order_relaxed);
    // Room for any factory preset's name, so marking one current (which a renderer may do on
    // its render thread) never allocates.
    m_currentPreset.name.reserve(kPresetNameRoom);
}

MusicDeviceBase::~MusicDeviceBase() = default;

Status MusicDeviceBase::DoInitialize() noexcept
{
    if (m_initialized)
        return kNoErr;
    Status status = CatchToStatus([this] { return Initialize(); });
    if (status == kNoErr)
        m_initialized = true;
    return status;
}

void MusicDeviceBase::DoCleanup() noexcept
{
    if (!m_initialized)
        return;
    CatchToStatus(
        [this]
        {
            Cleanup();
            return kNoErr;
        });
    m_initialized = false;
}

Status MusicDeviceBase::DispatchGetPropertyInfo(PropertyID id, Scope scope, Element element,
                                                std::uint32_t* outSize, bool* outWritable) noexcept
{
    return CatchToStatus(
        [&]
        {
            std::uint32_t size = 0;
            bool writable = false;
            Status status = GetPropertyInfo(id, scope, element, size, writable);
            if (status == kNoErr)
            {
                if (outSize)
                    *outSize = size;
                if (outWritable)
                    *outWritable = writable;
            }
            return status;
        });
}

Status MusicDeviceBase::DispatchGetProperty(PropertyID id, Scope scope, Element element,
                                            void* outData, std::uint32_t* ioSize) noexcept
{
    return CatchToStatus(
        [&]
        {
            std::uint32_t size = 0;
            bool writable = false;
            Status status = GetPropertyInfo(id, scope, element, size, writable);
            if (status != kNoErr)
                return status;
            if (!outData || !ioSize)
            {
                if (ioSize)
                    *ioSize = size;
                return kNoErr;
            }
            if (*ioSize < size)
                return kErrInvalidPropertyValue;
            status = GetProperty(id, scope, element, outData);
            if (status == kNoErr)
                *ioSize = size;
            return status;
        });
}

Status MusicDeviceBase::DispatchSetProperty(PropertyID id, Scope scope, Element element,
                                            const void* data, std::uint32_t size) noexcept
{
    return CatchToStatus([&] { return SetProperty(id, scope, element, data, size); });
}

Status MusicDeviceBase::DispatchSetParameter(ParameterID id, Scope scope, Element element,
                                             float value, std::uint32_t frameOffset) noexcept
{
    return CatchToStatus([&] { return SetParameter(id, scope, element, value, frameOffset); });
}

Status MusicDeviceBase::DispatchGetParameter(ParameterID id, Scope scope, Element element,
                                             float& outValue) const noexcept
{
    return CatchToStatus([&] { return GetElement(scope, element).GetValue(id, outValue); });
}

Status MusicDeviceBase::DoRender(std::uint32_t& ioActionFlags, const AudioTimeStamp& timeStamp,
                                 std::uint32_t frames, AudioBufferList& output) noexcept
{
    if (!m_initialized)
        return kErrCannotDoInCurrentContext;
    if (m_numOutputs == 0)
        return kErrFormatNotSupported;
    m_output = &output;
    Status status = kErrUnknown;
    try
    {
        status = Render(ioActionFlags, timeStamp, frames);
    }
    catch (...)
    {
        status = kErrUnknown;
    }
    m_output = &m_emptyOutput;
    return status;
}

Status MusicDeviceBase::GetPropertyInfo(PropertyID id, Scope scope, Element element,
                                        std::uint32_t& outSize, bool& outWritable)
{
    switch (id)
    {
    case kPropertySampleRate:
        outSize = sizeof(double);
        outWritable = true;
        return kNoErr;
    case kPropertyParameterList:
        outSize = static_cast<std::uint32_t>(sizeof(ParameterID) *
                                             GetElement(scope, 0).GetNumberOfParameters());
        outWritable = false;
        return kNoErr;
    case kPropertyParameterInfo:
        outSize = sizeof(ParameterInfo);
        outWritable = false;
        return kNoErr;
    case kPropertyLatency:
    case kPropertyTailTime:
        outSize = sizeof(double);
        outWritable = false;
        return kNoErr;
    case kPropertySupportedNumChannels:
        outSize = static_cast<std::uint32_t>(sizeof(ChannelInfo) * SupportedNumChannels().size());
        outWritable = false;
        return outSize ? kNoErr : kErrInvalidProperty;
    case kPropertyMaximumFramesPerSlice:
        outSize = sizeof(std::uint32_t);
        outWritable = true;
        return kNoErr;
    default:
        (void)element;
        return kErrInvalidProperty;
    }
}

Status MusicDeviceBase::GetProperty(PropertyID id, Scope scope, Element element, void* outData)
{
    switch (id)
    {
    case kPropertySampleRate:
        std::memcpy(outData, &m_sampleRate, sizeof(double));
        return kNoErr;
    case kPropertyParameterList:
    {
        std::vector<ParameterID> ids = GetElement(scope, 0).GetParameterList();
        if (!ids.empty())
            std::memcpy(outData, ids.data(), ids.size() * sizeof(ParameterID));
        return kNoErr;
    }
    case kPropertyParameterInfo:
        // The element argument carries the parameter identifier.
        return GetParameterInfo(scope, element, *static_cast<ParameterInfo*>(outData));
    case kPropertyLatency:
    {
        double v = GetLatency();
        std::memcpy(outData, &v, sizeof v);
        return kNoErr;
    }
    case kPropertyTailTime:
    {
        double v = GetTailTime();
        std::memcpy(outData, &v, sizeof v);
        return kNoErr;
    }
    case kPropertySupportedNumChannels:
    {
        std::vector<ChannelInfo> infos = SupportedNumChannels();
        std::memcpy(outData, infos.data(), infos.size() * sizeof(ChannelInfo));
        return kNoErr;
    }
    case kPropertyMaximumFramesPerSlice:
        std::memcpy(outData, &m_maxFramesPerSlice, sizeof(std::uint32_t));
        return kNoErr;
    default:
        return kErrInvalidProperty;
    }
}

Status MusicDeviceBase::SetProperty(PropertyID id, Scope, Element, const void* data,
                                    std::uint32_t size)
{
    switch (id)
    {
    case kPropertySampleRate:
    {
        if (size != sizeof(double) || !data)
            return kErrInvalidPropertyValue;
        double hz;
        std::memcpy(&hz, data, sizeof hz);
        SetSampleRate(hz);
        return kNoErr;
    }
    case kPropertyMaximumFramesPerSlice:
    {
        if (size != sizeof(std::uint32_t) || !data)
            return kErrInvalidPropertyValue;
        std::uint32_t frames;
        std::memcpy(&frames, data, sizeof frames);
        if (frames == 0)
            return kErrInvalidPropertyValue;
        m_maxFramesPerSlice = frames;
        return kNoErr;
    }
    default:
        return kErrInvalidProperty;
    }
}

void MusicDeviceBase::SetSampleRate(double hz)
{
    // A rate must be finite and usable by oscillators and the delay line.
    if (!(hz >= 1000.0 && hz <= 1536000.0))
        throw HostError(kErrInvalidPropertyValue);
    m_sampleRate = hz;
}

Status MusicDeviceBase::SetParameter(ParameterID id, Scope scope, Element element, float value,
                                     std::uint32_t)
{
    // NaN and infinities never enter the store, whoever sends them.
    if (!std::isfinite(value))
        return kErrInvalidParameter;
    return GetElement(scope, element).SetValue(id, value, !m_initialized);
}

Status MusicDeviceBase::GetParameterInfo(Scope, ParameterID, ParameterInfo&)
{
    return kErrInvalidParameter;
}

Status MusicDeviceBase::GetParameterValueStrings(Scope, ParameterID, std::vector<std::string>*)
{
    return kErrInvalidProperty;
}

Status MusicDeviceBase::Render(std::uint32_t&, const AudioTimeStamp&, std::uint32_t)
{
    return kNoErr;
}

Status MusicDeviceBase::SaveState(ClassInfoDictionary& outState)
{
    outState.clear();
    outState["version"] = std::int64_t{0};
    outState["type"] = std::int64_t{ComponentType()};
    outState["subtype"] = std::int64_t{ComponentSubType()};
    outState["manufacturer"] = std::int64_t{ComponentManufacturer()};
    StateElementValues globals;
    for (ParameterID id : m_globals.GetParameterList())
        globals.values.push_back({id, m_globals.Value(id)});
    std::vector<StateElementValues> elements;
    if (!globals.values.empty())
        elements.push_back(std::move(globals));
    outState["data"] = EncodeStateData(elements);
    outState["name"] = m_currentPreset.name;
    return kNoErr;
}

namespace
{

constexpr const char* kUntitledPresetName = "Untitled";

// The integer under key, or false with a reason.
bool GetStateInteger(const ClassInfoDictionary& state, const char* key, std::int64_t& out,
                     std::string& error)
{
    const auto it = state.find(key);
    if (it == state.end())
    {
        error = std::string("the state has no \"") + key + "\" key";
        return false;
    }
    if (const auto* v = std::get_if<std::int64_t>(&it->second))
    {
        out = *v;
        return true;
    }
    error = std::string("the state's \"") + key + "\" is not an integer";
    return false;
}

std::string FourCCText(std::int64_t code)
{
    if (code < 0 || code > 0xFFFFFFFF)
        return std::to_string(code);
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text + "'";
}

} // namespace

Status MusicDeviceBase::RestoreState(const ClassInfoDictionary& state)
{
    m_stateError.clear();
    std::string error;
    auto refuse = [&](std::string reason)
    {
        m_stateError = std::move(reason);
        return kErrInvalidPropertyValue;
    };

    if (state.count("part"))
        return refuse("the state belongs to one part of a multi-part unit (\"part\" key)");
    std::int64_t version = 0, type = 0, subtype = 0, manufacturer = 0;
    if (!GetStateInteger(state, "version", version, error) ||
        !GetStateInteger(state, "type", type, error) ||
        !GetStateInteger(state, "subtype", subtype, error) ||
        !GetStateInteger(state, "manufacturer", manufacturer, error))
        return refuse(error);
    if (version != 0)
        return refuse("the state has version " + std::to_string(version) + ", expected 0");
    if (subtype != ComponentSubType() || manufacturer != ComponentManufacturer())
        return refuse("the state belongs to another component (subtype " + FourCCText(subtype) +
                      ", manufacturer " + FourCCText(manufacturer) + "; this is " +
                      FourCCText(ComponentSubType()) + ", " + FourCCText(ComponentManufacturer()) +
                      ")");

    const auto dataIt = state.find("data");
    if (dataIt == state.end())
        return refuse("the state has no \"data\" key");
    const auto* data = std::get_if<std::vector<std::uint8_t>>(&dataIt->second);
    if (!data)
        return refuse("the state's \"data\" is not a byte block");
    std::vector<StateElementValues> elements;
    if (!DecodeStateData(data->data(), data->size(), elements, error))
        return refuse(error);

    std::string name = kUntitledPresetName;
    if (const auto nameIt = state.find("name"); nameIt != state.end())
    {
        const auto* text = std::get_if<std::string>(&nameIt->second);
        if (!text)
            return refuse("the state's \"name\" is not a string");
        name = *text;
    }

    // Everything is checked before the first value is written, so a refusal changes nothing.
    for (const StateElementValues& e : elements)
    {
        try
        {
            (void)GetElement(e.scope, e.element);
        }
        catch (const HostError&)
        {
            return refuse("the state has values for scope " +
                          std::to_string(static_cast<std::uint32_t>(e.scope)) + " element " +
                          std::to_string(e.element) + ", which this unit does not have");
        }
        for (const StateParameter& p : e.values)
            if (!IsRestorableParameter(e.scope, e.element, p.id))
                return refuse("the state has a value for parameter " + std::to_string(p.id) +
                              ", which this unit does not have");
    }

    for (const StateElementValues& e : elements)
    {
        ParameterElement& store = GetElement(e.scope, e.element);
        for (const StateParameter& p : e.values)
            store.SetValue(p.id, p.value, !m_initialized);
    }
    m_currentPreset.number = -1;
    m_currentPreset.name.assign(name); // keeps the storage reserved for preset names
    return kNoErr;
}

Status MusicDeviceBase::GetPresets(std::vector<Preset>*) const
{
    return kErrInvalidProperty;
}

Status MusicDeviceBase::NewFactoryPresetSet(const Preset&)
{
    return kErrInvalidPropertyValue;
}

Status MusicDeviceBase::HandleMidiEvent(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t,
                                        std::uint32_t)
{
    return kNoErr;
}

Status MusicDeviceBase::HandleSysEx(const std::uint8_t*, std::uint32_t)
{
    return kNoErr;
}

Status MusicDeviceBase::StartNote(std::uint32_t, std::uint32_t, std::uint32_t*, std::uint32_t,
                                  const NoteParams&)
{
    return kNoErr;
}

Status MusicDeviceBase::StopNote(std::uint32_t, std::uint32_t, std::uint32_t)
{
    return kNoErr;
}

Status MusicDeviceBase::MidiEvent(std::uint8_t statusByte, std::uint8_t data1, std::uint8_t data2,
                                  std::uint32_t frameOffset)
{
    return HandleMidiEvent(statusByte & 0xF0, statusByte & 0x0F, data1, data2, frameOffset);
}

ParameterElement& MusicDeviceBase::GetElement(Scope scope, Element element)
{
    return const_cast<ParameterElement&>(std::as_const(*this).GetElement(scope, element));
}

const ParameterElement& MusicDeviceBase::GetElement(Scope scope, Element element) const
{
    if (scope != Scope::Global)
        throw HostError(kErrInvalidScope);
    if (element != 0)
        throw HostError(kErrInvalidElement);
    return m_globals;
}

float MusicDeviceBase::GetParameter(ParameterID id) const
{
    float value = 0.0f;
    Status status = m_globals.GetValue(id, value);
    if (status != kNoErr)
        throw HostError(status);
    return value;
}

void MusicDeviceBase::SetAFactoryPresetAsCurrent(const Preset& preset)
{
    m_currentPreset.number = preset.number;
    m_currentPreset.name.assign(preset.name);
}

bool MusicDeviceBase::AddParameterListener(ParameterListener* listener) noexcept
{
    for (auto& slot : m_listeners)
    {
        ParameterListener* expected = nullptr;
        if (slot.compare_exchange_strong(expected, listener, std::memory_order_acq_rel))
            return true;
    }
    return false;
}

void MusicDeviceBase::RemoveParameterListener(ParameterListener* listener) noexcept
{
    for (auto& slot : m_listeners)
    {
        ParameterListener* expected = listener;
        slot.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
    }
    // A notification that already read the slot may still be calling the listener: wait for it,
    // so the caller may destroy the listener as soon as this returns.
    while (m_notifying.load(std::memory_order_acquire) != 0)
        std::this_thread::yield();
}

void MusicDeviceBase::NotifyParameterListeners(ParameterListener* sender, void* sendingObject,
                                               const ParameterAddress& address,
                                               float value) noexcept
{
    m_notifying.fetch_add(1, std::memory_order_acq_rel);
    for (auto& slot : m_listeners)
    {
        ParameterListener* listener = slot.load(std::memory_order_acquire);
        if (listener && listener != sender)
            listener->ParameterChanged(sendingObject, address, value);
    }
    m_notifying.fetch_sub(1, std::memory_order_acq_rel);
}

Status AUParameterSet(ParameterListener* sendingListener, void* sendingObject,
                      const ParameterAddress& address, float value,
                      std::uint32_t frameOffset) noexcept
{
    if (!address.unit)
        return kErrInvalidParameter;
    Status status = address.unit->DispatchSetParameter(address.id, address.scope, address.element,
                                                       value, frameOffset);
    if (status == kNoErr)
        address.unit->NotifyParameterListeners(sendingListener, sendingObject, address, value);
    return status;
}

} // namespace TW
