// What an offline render plays: MIDI messages, system-exclusive blocks, parameter changes and
// factory presets, each at a frame of the render. Main thread.
#pragma once

#include "platform/AudioTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class MidiFile;

struct RenderScoreEvent
{
    enum class Kind : std::uint8_t
    {
        Parameter, // set through the notifying parameter call before the frame is rendered
        Preset,    // a factory preset loaded before the frame is rendered (number in param)
        Midi,      // a short message through the instance's MIDI entry
        SysEx,     // a system-exclusive block through the instance's MIDI entry
    };

    std::uint64_t frame = 0; // frames from the start of the render
    Kind kind = Kind::Midi;
    std::uint8_t status = 0; // full status byte (Midi)
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    TW::ParameterID param = 0;     // Parameter
    float value = 0.0f;            // Parameter
    std::uint32_t sysexOffset = 0; // into RenderScore::SysExBytes() (SysEx)
    std::uint32_t sysexLength = 0;

    bool IsQueued() const noexcept { return kind == Kind::Midi || kind == Kind::SysEx; }
};

class RenderScore
{
public:
    // The instance's event queue holds this many waiting events; more due at one frame move
    // to the next frame (and so on), in their order, whatever the block size.
    static constexpr std::size_t kMaxQueuedPerFrame = 63;

    // The largest frame FrameAt gives: far beyond any render, yet safe to add a tail to.
    static constexpr std::uint64_t kFrameLimit = std::uint64_t{1} << 62;

    // The frame of an event at t seconds: floor(t × rate + 0.5), at most kFrameLimit.
    static std::uint64_t FrameAt(double seconds, double rate) noexcept;

    void AddMidi(std::uint64_t frame, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void AddSysEx(std::uint64_t frame, const std::uint8_t* bytes, std::size_t length);
    void AddParameter(std::uint64_t frame, TW::ParameterID id, float value);
    void AddPreset(std::uint64_t frame, std::uint32_t number);
    // Every event of a MIDI file, at its frame for the rate.
    void AddMidiFile(const MidiFile& file, double rate);

    // Orders the events by frame (presets and parameter changes first within a frame, each
    // group in the order added) and spreads queued events so that no frame has more than the queue
    // holds. Call once after adding, before rendering.
    void Finish();

    const std::vector<RenderScoreEvent>& Events() const noexcept { return m_events; }
    const std::vector<std::uint8_t>& SysExBytes() const noexcept { return m_sysex; }
    // The frame of the last event, 0 when there is none.
    std::uint64_t LastFrame() const noexcept;

private:
    std::vector<RenderScoreEvent> m_events;
    std::vector<std::uint8_t> m_sysex;
};
