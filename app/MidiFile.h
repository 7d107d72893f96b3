// A Standard MIDI File (format 0 or 1) read into one time-ordered list of events, with the
// tempo map of all tracks applied. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MidiFileEvent
{
    double seconds = 0.0;          // from the start of the file
    std::uint8_t status = 0;       // 0x80..0xEF with channel, or 0xF0 for a system-exclusive block
    std::uint8_t data1 = 0;        // short messages only
    std::uint8_t data2 = 0;        // two-byte messages only
    std::uint32_t sysexOffset = 0; // into MidiFile::SysExBytes(); 0xF0 events only
    std::uint32_t sysexLength = 0;

    bool IsSysEx() const noexcept { return status == 0xF0; }
};

class MidiFile
{
public:
    // Largest file accepted, in bytes: far beyond any real song, small enough to stay harmless.
    static constexpr std::size_t kMaxFileBytes = 16u << 20;

    // Reads a whole file image. On failure returns false with a one-line message in error and
    // leaves the object empty.
    bool Parse(const std::uint8_t* data, std::size_t size, std::string& error);
    // Reads the file at path; the message names what went wrong but not the path.
    bool Load(const std::string& path, std::string& error);

    int Format() const noexcept { return m_format; }
    int NumTracks() const noexcept { return m_numTracks; }

    // Channel messages and system-exclusive blocks ordered by time; events at the same time
    // keep the order of their tracks, then their order within a track. Meta events are not
    // listed: tempo changes are already applied to the times.
    const std::vector<MidiFileEvent>& Events() const noexcept { return m_events; }
    // System-exclusive bytes as a receiver gets them: an F0 block starts with 0xF0, an F7
    // (escaped or continued) block is given as its bytes alone.
    const std::vector<std::uint8_t>& SysExBytes() const noexcept { return m_sysex; }
    // Time of the last event in seconds; 0 for a file without events.
    double Duration() const noexcept;

private:
    struct TickEvent
    {
        std::uint64_t tick;
        std::uint32_t track;
        std::uint32_t order;
        MidiFileEvent event;
    };
    struct TempoChange
    {
        std::uint64_t tick;
        std::uint32_t track;
        std::uint32_t order;
        std::uint32_t microsPerQuarter;
    };

    bool ParseTrack(const std::uint8_t* data, std::size_t size, std::size_t fileOffset,
                    std::uint32_t track, std::vector<TickEvent>& events,
                    std::vector<TempoChange>& tempi, std::string& error);
    void Clear() noexcept;

    int m_format = 0;
    int m_numTracks = 0;
    std::vector<MidiFileEvent> m_events;
    std::vector<std::uint8_t> m_sysex;
};
