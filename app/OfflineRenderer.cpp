#include "OfflineRenderer.h"

#include "core/TarnAdditiveSynth.h"

#include <algorithm>

OfflineRenderer::OfflineRenderer(TW::PluginInstance& instance, std::uint32_t blockFrames)
    : m_instance(instance), m_blockFrames(std::max<std::uint32_t>(blockFrames, 1)),
      m_left(m_blockFrames), m_right(m_blockFrames)
{
    m_messages.reserve(RenderScore::kMaxQueuedPerFrame + 1);
    m_bytes.reserve(RenderScore::kMaxQueuedPerFrame + 1);
}

bool OfflineRenderer::RenderBlock(std::uint32_t frames, std::string& error)
{
    // Short messages were added without their bytes' address: m_bytes may have moved since.
    std::size_t shortMessage = 0;
    for (TW::PluginMidiMessage& m : m_messages)
        if (!m.data)
            m.data = m_bytes[shortMessage++].data();
    const std::uint64_t lostBefore = m_instance.MessagesLost();
    m_instance.Process(m_messages.data(), static_cast<std::uint32_t>(m_messages.size()),
                       m_left.data(), m_right.data(), frames);
    m_messages.clear();
    m_bytes.clear();
    if (const TW::Status status = m_instance.LastRenderStatus(); status != TW::kNoErr)
    {
        error = "the instance failed to render (status " + std::to_string(status) + ")";
        return false;
    }
    if (const std::uint64_t lost = m_instance.MessagesLost() - lostBefore)
    {
        error =
            "the instance's event queue stayed full: " + std::to_string(lost) + " events were lost";
        return false;
    }
    ++m_blocks;
    return true;
}

bool OfflineRenderer::Render(const RenderScore& score, std::uint64_t totalFrames, const Sink& sink,
                             std::string& error)
{
    const std::vector<RenderScoreEvent>& events = score.Events();
    const std::size_t count = events.size();
    std::size_t next = 0;
    std::uint64_t pos = 0;
    m_blocks = 0;
    while (pos < totalFrames)
    {
        // Presets and parameter changes due now take effect before this frame is rendered.
        while (next < count && events[next].frame <= pos && !events[next].IsQueued())
        {
            const RenderScoreEvent& e = events[next++];
            if (e.kind == RenderScoreEvent::Kind::Preset)
            {
                const TW::Status status = m_instance.Synth().NewFactoryPresetSet(
                    {static_cast<std::int32_t>(e.param), ""});
                if (status != TW::kNoErr)
                {
                    error = "cannot load factory preset " + std::to_string(e.param) + " (status " +
                            std::to_string(status) + ")";
                    return false;
                }
                continue;
            }
            const TW::Status status = TW::AUParameterSet(
                nullptr, nullptr, {&m_instance.Synth(), e.param, TW::Scope::Global, 0}, e.value, 0);
            if (status != TW::kNoErr)
            {
                error = "cannot set parameter " + std::to_string(e.param) + " (status " +
                        std::to_string(status) + ")";
                return false;
            }
        }

        // Queue whole groups of same-frame events while they fit; cut the block before a
        // group that does not, before a parameter change and before a later sysex block.
        std::uint64_t end = std::min<std::uint64_t>(pos + m_blockFrames, totalFrames);
        std::size_t queued = 0;
        while (next < count && events[next].frame < end)
        {
            const std::uint64_t frame = events[next].frame;
            if (!events[next].IsQueued())
            {
                end = frame;
                break;
            }
            std::size_t groupEnd = next;
            bool hasSysEx = false;
            while (groupEnd < count && events[groupEnd].frame == frame &&
                   events[groupEnd].IsQueued())
            {
                hasSysEx |= events[groupEnd].kind == RenderScoreEvent::Kind::SysEx;
                ++groupEnd;
            }
            if ((hasSysEx && frame > pos) ||
                queued + (groupEnd - next) > RenderScore::kMaxQueuedPerFrame)
            {
                end = frame; // after pos: the first group of a block always fits
                break;
            }
            const auto offset = static_cast<std::uint32_t>(frame - pos);
            for (; next < groupEnd; ++next)
            {
                const RenderScoreEvent& e = events[next];
                if (e.kind == RenderScoreEvent::Kind::SysEx)
                {
                    m_messages.push_back(
                        {offset, e.sysexLength, score.SysExBytes().data() + e.sysexOffset, true});
                    // Longer than the instance takes: it reports and drops it, nothing is queued.
                    if (e.sysexLength <= Tarn::kMaxSysExBytes)
                        ++queued;
                    continue;
                }
                m_bytes.push_back({e.status, e.data1, e.data2});
                m_messages.push_back({offset, 3, nullptr});
                ++queued;
            }
        }

        if (end == pos)
        {
            error = "unordered score at frame " + std::to_string(pos);
            return false;
        }
        const auto frames = static_cast<std::uint32_t>(end - pos);
        if (!RenderBlock(frames, error))
            return false;
        if (!sink(m_left.data(), m_right.data(), frames))
        {
            error = "stopped";
            return false;
        }
        pos = end;
    }
    return true;
}
