#include "PluginInstance.h"

#include "PluginParameterMap.h"
#include "PluginStateCodec.h"

#include "core/ParameterTable.h"
#include "platform/ComponentFactory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace TW
{

PluginInstance::PluginInstance()
{
    const Status status = OpenComponent(m_synth);
    if (status != kNoErr || !m_synth)
        throw HostError(status != kNoErr ? status : kErrUnknown);
    Attach();
}

PluginInstance::PluginInstance(std::unique_ptr<TarnAdditiveSynth> synth) : m_synth(std::move(synth))
{
    if (!m_synth)
        throw HostError(kErrUnknown);
    m_maxFrames = m_synth->GetMaxFramesPerSlice();
    Attach();
}

void PluginInstance::Attach()
{
    m_synth->AddParameterListener(&m_listener);
    std::vector<Preset> presets;
    if (m_synth->GetPresets(&presets) == kNoErr)
        m_presets = std::move(presets);
}

PluginInstance::~PluginInstance()
{
    m_synth->RemoveParameterListener(&m_listener);
    CloseComponent(m_synth);
}

Status PluginInstance::Activate(double sampleRate, std::uint32_t maxFrames)
{
    auto setMaxFrames = [&]() -> Status
    {
        if (maxFrames == 0 || maxFrames == m_maxFrames)
            return kNoErr;
        const Status status = m_synth->DispatchSetProperty(
            kPropertyMaximumFramesPerSlice, Scope::Global, 0, &maxFrames, sizeof maxFrames);
        if (status == kNoErr)
            m_maxFrames = maxFrames;
        return status;
    };
    // A new block size needs no new initialization: the scripts and the OSC server stay.
    if (m_synth->IsInitialized() && sampleRate == m_synth->GetSampleRate())
        return setMaxFrames();
    m_synth->DoCleanup();
    Status status = m_synth->DispatchSetProperty(kPropertySampleRate, Scope::Output, 0, &sampleRate,
                                                 sizeof sampleRate);
    if (status != kNoErr)
    {
        std::fprintf(stderr, "Velluna: sample rate %g Hz is not supported\n", sampleRate);
        return status;
    }
    status = setMaxFrames();
    if (status != kNoErr)
        return status;
    return m_synth->DoInitialize();
}

bool PluginInstance::Process(const PluginMidiMessage* messages, std::uint32_t count, float* left,
                             float* right, std::uint32_t frames) noexcept
{
    if (!m_synth->IsInitialized())
    {
        std::memset(left, 0, frames * sizeof(float));
        std::memset(right, 0, frames * sizeof(float));
        m_renderStatus = kErrCannotDoInCurrentContext;
        return true;
    }

    m_renderStatus = kNoErr;
    AudioBufferList buffers;
    buffers.numberBuffers = 2;
    bool silent = true;
    std::uint32_t done = 0; // frames already rendered in this block

    auto renderTo = [&](std::uint32_t end) noexcept
    {
        if (end <= done)
            return;
        const std::uint32_t n = end - done;
        buffers.buffers[0] = {1, n * static_cast<std::uint32_t>(sizeof(float)), left + done};
        buffers.buffers[1] = {1, n * static_cast<std::uint32_t>(sizeof(float)), right + done};
        std::uint32_t flags = 0;
        AudioTimeStamp time;
        time.sampleTime = m_sampleTime;
        const Status status = m_synth->DoRender(flags, time, n, buffers);
        if (status != kNoErr)
        {
            std::memset(left + done, 0, n * sizeof(float));
            std::memset(right + done, 0, n * sizeof(float));
            if (m_renderStatus == kNoErr)
                m_renderStatus = status;
        }
        else if (!(flags & kRenderOutputIsSilence))
            silent = false;
        m_sampleTime += n;
        done = end;
    };

    // Offsets count from the start of the part of the block not yet rendered; once the whole
    // block is rendered, a message waits for the start of the next call.
    auto deliver = [&](const PluginMidiMessage& m, std::uint32_t frame) noexcept -> bool
    {
        if (m.sysex || m.data[0] == 0xF0)
            return m_synth->HandleSysEx(m.data, m.size) == kNoErr;
        const std::uint8_t d1 = m.size > 1 ? m.data[1] & 0x7F : 0;
        const std::uint8_t d2 = m.size > 2 ? m.data[2] & 0x7F : 0;
        return m_synth->MidiEvent(m.data[0], d1, d2, frame > done ? frame - done : 0) == kNoErr;
    };

    // The event queue holds 63 items. Before a message at a new frame, once half of that waits,
    // render up to that frame: every waiting item then lies before the cut and is applied, and
    // offsets after the cut are counted from it. A cut must lie after every waiting item's
    // frame, or the item at the cut would be applied there and the ones after it a block late.
    constexpr std::uint32_t kQueueHolds = Tarn::kQueueSlots - 1;
    constexpr std::uint32_t kFlushAt = kQueueHolds / 2;
    // Messages queued since the last cut (those left over from the last call wait at frame 0),
    // the frame of the last of them, and those left over for the next call.
    std::uint32_t waiting = m_carried;
    std::uint32_t lastFrame = 0;
    std::uint32_t carried = 0;
    // Renders past everything waiting; a message due before the cut follows at the cut.
    auto cutAfterWaiting = [&](std::uint32_t& frame) noexcept
    {
        const std::uint32_t after = waiting ? lastFrame : done;
        const std::uint32_t cut = std::min(std::max(frame, after + 1), frames);
        renderTo(cut);
        waiting = 0;
        frame = std::max(frame, cut);
    };
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const PluginMidiMessage& m = messages[i];
        // Running status and stray data bytes carry no status byte: not a message we can take.
        if (m.size == 0 || !m.data || (!m.sysex && !(m.data[0] & 0x80)))
            continue;
        const bool sysex = m.sysex || m.data[0] == 0xF0;
        std::uint32_t frame = frames == 0 ? 0 : (m.frame < frames ? m.frame : frames - 1);
        if (done < frames)
        {
            const std::uint32_t after = waiting ? lastFrame : done;
            // A system-exclusive item carries no offset: it is applied where the queue stands.
            if (frame > after && (waiting >= kFlushAt || sysex))
            {
                renderTo(frame);
                waiting = 0;
            }
            else if (waiting >= kQueueHolds)
                cutAfterWaiting(frame); // a crowd at one frame: the rest follow at the next
        }
        bool delivered = deliver(m, frame);
        // Too long for the queue: reported and counted there, not retried.
        const bool tooLong = sysex && m.size > Tarn::kMaxSysExBytes;
        if (!delivered && !tooLong && done < frames)
        {
            // Another writer has filled the queue: render past what waits and try once more.
            cutAfterWaiting(frame);
            delivered = deliver(m, frame);
        }
        if (!delivered)
        {
            if (!tooLong)
                m_messagesLost.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        lastFrame = waiting ? std::max(lastFrame, frame) : frame; // hosts may send unordered
        ++waiting;
        if (done == frames)
            ++carried;
    }
    // The last render applies everything left over from the last call.
    m_carried = frames == 0 ? m_carried + carried : carried;
    renderTo(frames);
    return silent;
}

void PluginInstance::SetParameter(ParameterID id, float value) noexcept
{
    AUParameterSet(&m_listener, this, {m_synth.get(), id, Scope::Global, 0}, value, 0);
}

float PluginInstance::GetParameter(ParameterID id) const noexcept
{
    float value = 0.0f;
    if (m_synth->DispatchGetParameter(id, Scope::Global, 0, value) != kNoErr)
        return id < Tarn::kNumParams ? Tarn::astParamInfos[id].defaultValue : 0.0f;
    return value;
}

std::vector<std::string> PluginInstance::EnumNames(ParameterID id)
{
    std::vector<std::string> names;
    if (m_synth->GetParameterValueStrings(Scope::Global, id, &names) != kNoErr)
        names.clear();
    return names;
}

std::string PluginInstance::FormatValue(ParameterID id, float value)
{
    if (id >= Tarn::kNumParams)
        return {};
    TarnParameterStringFromValue request{id, &value, nullptr};
    std::uint32_t size = sizeof request;
    if (m_synth->DispatchGetProperty(kPropertyParameterStringFromValue, Scope::Global, 0, &request,
                                     &size) == kNoErr &&
        request.outString)
        return request.outString;

    const Tarn::ParamInfo& info = Tarn::astParamInfos[id];
    const std::vector<std::string> names = EnumNames(id);
    if (!names.empty())
    {
        const long index = std::lround(value - info.minValue);
        if (index >= 0 && static_cast<std::size_t>(index) < names.size())
            return names[static_cast<std::size_t>(index)];
    }
    char text[64];
    if (PluginParameterMap::IsStepped(id))
        std::snprintf(text, sizeof text, "%ld", std::lround(value));
    else
        std::snprintf(text, sizeof text, "%.4g", static_cast<double>(value));
    std::string result = text;
    const char* unit = PluginParameterMap::UnitText(id);
    if (*unit)
        result = result + " " + unit;
    return result;
}

bool PluginInstance::ParseValue(ParameterID id, const std::string& text, float& outValue)
{
    if (id >= Tarn::kNumParams)
        return false;
    const Tarn::ParamInfo& info = Tarn::astParamInfos[id];
    const std::vector<std::string> names = EnumNames(id);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (text == names[i])
        {
            outValue = info.minValue + static_cast<float>(i);
            return true;
        }
    // Named values of the instrument's own strings: try the whole numbers of the range, which
    // is where "Inf", the filter types and "Off" sit.
    if (info.maxValue - info.minValue <= 200.0f)
        for (float v = std::ceil(info.minValue); v <= info.maxValue; v += 1.0f)
        {
            TarnParameterStringFromValue request{id, &v, nullptr};
            std::uint32_t size = sizeof request;
            if (m_synth->DispatchGetProperty(kPropertyParameterStringFromValue, Scope::Global, 0,
                                             &request, &size) == kNoErr &&
                request.outString && text == request.outString)
            {
                outValue = v;
                return true;
            }
        }
    const char* begin = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(v))
        return false;
    while (*end == ' ')
        ++end;
    if (*end != '\0' && std::strcmp(end, PluginParameterMap::UnitText(id)) != 0)
        return false;
    outValue = static_cast<float>(v);
    return true;
}

Status PluginInstance::LoadPreset(std::uint32_t index)
{
    if (index >= m_presets.size())
        return kErrInvalidPropertyValue;
    return m_synth->NewFactoryPresetSet(m_presets[index]);
}

std::string PluginInstance::SaveState()
{
    ClassInfoDictionary state;
    const Status status = CatchToStatus([&] { return m_synth->SaveState(state); });
    if (status != kNoErr)
    {
        std::fprintf(stderr, "Velluna: the state cannot be saved (status %d)\n", status);
        return {};
    }
    return EncodePluginState(state);
}

Status PluginInstance::RestoreState(const std::string& text)
{
    ClassInfoDictionary state;
    std::string error;
    if (!DecodePluginState(text, state, error))
    {
        std::fprintf(stderr, "Velluna: %s; nothing restored\n", error.c_str());
        return kErrInvalidPropertyValue;
    }
    return CatchToStatus([&] { return m_synth->RestoreState(state); });
}

} // namespace TW
