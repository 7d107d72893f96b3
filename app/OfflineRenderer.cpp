#include "OfflineRenderer.h"

#include "core/TarnAdditiveSynth.h"

#include <algorithm>

OfflineRenderer::OfflineRenderer(TarnAdditiveSynth& synth, std::uint32_t blockFrames)
    : m_synth(synth), m_blockFrames(std::max<std::uint32_t>(blockFrames, 1)), m_left(m_blockFrames),
      m_right(m_blockFrames)
{
}

bool OfflineRenderer::RenderBlock(std::uint32_t frames, std::string& error)
{
    TW::AudioBufferList buffers;
    buffers.numberBuffers = 2;
    buffers.buffers[0] = {1, static_cast<std::uint32_t>(frames * sizeof(float)), m_left.data()};
    buffers.buffers[1] = {1, static_cast<std::uint32_t>(frames * sizeof(float)), m_right.data()};
    TW::AudioTimeStamp time;
    time.sampleTime = m_sampleTime;
    std::uint32_t flags = 0;
    const TW::Status status = m_synth.DoRender(flags, time, frames, buffers);
    if (status != TW::kNoErr)
    {
        error = "the instance failed to render (status " + std::to_string(status) + ")";
        return false;
    }
    m_sampleTime += frames;
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
                const TW::Status status =
                    m_synth.NewFactoryPresetSet({static_cast<std::int32_t>(e.param), ""});
                if (status != TW::kNoErr)
                {
                    error = "cannot load factory preset " + std::to_string(e.param) + " (status " +
                            std::to_string(status) + ")";
                    return false;
                }
                continue;
            }
            const TW::Status status = TW::AUParameterSet(
                nullptr, nullptr, {&m_synth, e.param, TW::Scope::Global, 0}, e.value, 0);
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
            const std::size_t groupStart = next;
            for (; next < groupEnd; ++next)
            {
                const RenderScoreEvent& e = events[next];
                if (e.kind == RenderScoreEvent::Kind::SysEx && e.sysexLength > Tarn::kMaxSysExBytes)
                {
                    // Longer than the instance takes: it reports and drops it, nothing is queued.
                    m_synth.HandleSysEx(score.SysExBytes().data() + e.sysexOffset, e.sysexLength);
                    continue;
                }
                const TW::Status status =
                    e.kind == RenderScoreEvent::Kind::SysEx
                        ? m_synth.HandleSysEx(score.SysExBytes().data() + e.sysexOffset,
                                              e.sysexLength)
                        : m_synth.MidiEvent(e.status, e.data1, e.data2, offset);
                if (status == TW::kNoErr)
                {
                    ++queued;
                    continue;
                }
                // Another writer (notes over OSC) may have taken queue slots: a group not yet
                // begun waits for the next block; one cut in half cannot keep its timing.
                if (next == groupStart && frame > pos)
                {
                    end = frame;
                    break;
                }
                error = "the instance's event queue is full at frame " + std::to_string(frame) +
                        " (status " + std::to_string(status) + ")";
                return false;
            }
            if (next < groupEnd)
                break;
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
