#include "RenderScore.h"

#include "MidiFile.h"

#include <algorithm>
#include <cmath>

std::uint64_t RenderScore::FrameAt(double seconds, double rate) noexcept
{
    const double frame = std::floor(seconds * rate + 0.5);
    if (!(frame > 0.0))
        return 0;
    return frame < static_cast<double>(kFrameLimit) ? static_cast<std::uint64_t>(frame)
                                                    : kFrameLimit;
}

void RenderScore::AddMidi(std::uint64_t frame, std::uint8_t status, std::uint8_t data1,
                          std::uint8_t data2)
{
    RenderScoreEvent e;
    e.frame = frame;
    e.kind = RenderScoreEvent::Kind::Midi;
    e.status = status;
    e.data1 = data1;
    e.data2 = data2;
    m_events.push_back(e);
}

void RenderScore::AddSysEx(std::uint64_t frame, const std::uint8_t* bytes, std::size_t length)
{
    RenderScoreEvent e;
    e.frame = frame;
    e.kind = RenderScoreEvent::Kind::SysEx;
    e.sysexOffset = static_cast<std::uint32_t>(m_sysex.size());
    e.sysexLength = static_cast<std::uint32_t>(length);
    m_sysex.insert(m_sysex.end(), bytes, bytes + length);
    m_events.push_back(e);
}

void RenderScore::AddParameter(std::uint64_t frame, TW::ParameterID id, float value)
{
    RenderScoreEvent e;
    e.frame = frame;
    e.kind = RenderScoreEvent::Kind::Parameter;
    e.param = id;
    e.value = value;
    m_events.push_back(e);
}

void RenderScore::AddPreset(std::uint64_t frame, std::uint32_t number)
{
    RenderScoreEvent e;
    e.frame = frame;
    e.kind = RenderScoreEvent::Kind::Preset;
    e.param = number;
    m_events.push_back(e);
}

void RenderScore::AddMidiFile(const MidiFile& file, double rate)
{
    m_events.reserve(m_events.size() + file.Events().size());
    for (const MidiFileEvent& e : file.Events())
    {
        const std::uint64_t frame = FrameAt(e.seconds, rate);
        if (e.IsSysEx())
            AddSysEx(frame, file.SysExBytes().data() + e.sysexOffset, e.sysexLength);
        else
            AddMidi(frame, e.status, e.data1, e.data2);
    }
}

void RenderScore::Finish()
{
    std::stable_sort(m_events.begin(), m_events.end(),
                     [](const RenderScoreEvent& a, const RenderScoreEvent& b)
                     {
                         if (a.frame != b.frame)
                             return a.frame < b.frame;
                         return !a.IsQueued() && b.IsQueued();
                     });
    // Queued events beyond the queue's depth at one frame go to the following frames. The
    // frames stay in order because a moved event only ever lands at or before a later one.
    std::uint64_t lastFrame = 0;
    std::size_t atLastFrame = 0;
    for (RenderScoreEvent& e : m_events)
    {
        if (!e.IsQueued())
            continue;
        if (e.frame < lastFrame)
            e.frame = lastFrame;
        if (e.frame == lastFrame && atLastFrame == kMaxQueuedPerFrame)
        {
            e.frame = lastFrame + 1;
            atLastFrame = 0;
        }
        if (e.frame != lastFrame)
        {
            lastFrame = e.frame;
            atLastFrame = 0;
        }
        ++atLastFrame;
    }
    // A parameter change stays before the queued events of its frame; the pass above can only
    // have moved queued events later, so one more stable sort restores that order.
    std::stable_sort(m_events.begin(), m_events.end(),
                     [](const RenderScoreEvent& a, const RenderScoreEvent& b)
                     {
                         if (a.frame != b.frame)
                             return a.frame < b.frame;
                         return !a.IsQueued() && b.IsQueued();
                     });
}

std::uint64_t RenderScore::LastFrame() const noexcept
{
    std::uint64_t last = 0;
    for (const RenderScoreEvent& e : m_events)
        last = std::max(last, e.frame);
    return last;
}
