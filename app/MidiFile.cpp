#include "MidiFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{

constexpr std::uint32_t kDefaultMicrosPerQuarter = 500000; // 120 beats per minute

std::uint32_t ReadBE(const std::uint8_t* p, int bytes) noexcept
{
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

std::string Hex(unsigned v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", v);
    return text;
}

std::string At(std::uint32_t track, std::size_t offset)
{
    return "track " + std::to_string(track + 1) + ", byte " + std::to_string(offset) + ": ";
}

} // namespace

void MidiFile::Clear() noexcept
{
    m_format = 0;
    m_numTracks = 0;
    m_events.clear();
    m_sysex.clear();
}

double MidiFile::Duration() const noexcept
{
    return m_events.empty() ? 0.0 : m_events.back().seconds;
}

bool MidiFile::Load(const std::string& path, std::string& error)
{
    Clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
    {
        error = std::strerror(errno);
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    bool tooBig = false;
    for (;;)
    {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
        if (n == 0)
            break;
        if (bytes.size() + n > kMaxFileBytes)
        {
            tooBig = true;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    const bool readError = std::ferror(f) != 0;
    const int readErrno = errno;
    std::fclose(f);
    if (tooBig)
    {
        error = "file is larger than " + std::to_string(kMaxFileBytes >> 20) +
                " MiB: not a MIDI file this program reads";
        return false;
    }
    if (readError)
    {
        error = std::string("cannot read: ") + std::strerror(readErrno);
        return false;
    }
    return Parse(bytes.data(), bytes.size(), error);
}

bool MidiFile::Parse(const std::uint8_t* data, std::size_t size, std::string& error)
{
    Clear();
    if (size > kMaxFileBytes)
    {
        error = "file is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
        return false;
    }
    if (size < 8 || std::memcmp(data, "MThd", 4) != 0)
    {
        error = "not a Standard MIDI File (no \"MThd\" header)";
        return false;
    }
    const std::uint32_t headerLength = ReadBE(data + 4, 4);
    if (headerLength < 6)
    {
        error = "bad header: length " + std::to_string(headerLength) + ", expected 6";
        return false;
    }
    if (headerLength > size - 8)
    {
        error = "truncated header";
        return false;
    }
    const std::uint32_t format = ReadBE(data + 8, 2);
    const std::uint32_t numTracks = ReadBE(data + 10, 2);
    const std::uint32_t division = ReadBE(data + 12, 2);
    if (format == 2)
    {
        error = "format 2 (independent sequences) is not supported; use format 0 or 1";
        return false;
    }
    if (format > 2)
    {
        error = "unknown file format " + std::to_string(format);
        return false;
    }
    if (format == 0 && numTracks != 1)
    {
        error = "format 0 file declares " + std::to_string(numTracks) + " tracks, expected 1";
        return false;
    }

    // Seconds per tick for SMPTE time; for metrical time ticks per quarter note.
    double smpteSecondsPerTick = 0.0;
    std::uint32_t ticksPerQuarter = 0;
    if (division & 0x8000)
    {
        const int fps = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
        const std::uint32_t ticksPerFrame = division & 0xFF;
        double rate = 0.0;
        if (fps == 24 || fps == 25 || fps == 30)
            rate = fps;
        else if (fps == 29)
            rate = 30000.0 / 1001.0; // drop-frame: 29.97 frames per second
        if (rate == 0.0 || ticksPerFrame == 0)
        {
            error = "bad SMPTE time division " + Hex(division >> 8) + " " + Hex(division & 0xFF);
            return false;
        }
        smpteSecondsPerTick = 1.0 / (rate * ticksPerFrame);
    }
    else
    {
        ticksPerQuarter = division;
        if (ticksPerQuarter == 0)
        {
            error = "bad time division: 0 ticks per quarter note";
            return false;
        }
    }

    std::vector<TickEvent> events;
    std::vector<TempoChange> tempi;
    std::size_t pos = 8 + static_cast<std::size_t>(headerLength);
    std::uint32_t track = 0;
    while (track < numTracks)
    {
        if (size - pos < 8)
        {
            error = "truncated: the header declares " + std::to_string(numTracks) +
                    " tracks but the file holds " + std::to_string(track);
            Clear();
            return false;
        }
        const std::uint32_t length = ReadBE(data + pos + 4, 4);
        const bool isTrack = std::memcmp(data + pos, "MTrk", 4) == 0;
        if (length > size - pos - 8)
        {
            error = "truncated: chunk at byte " + std::to_string(pos) + " declares " +
                    std::to_string(length) + " bytes but only " + std::to_string(size - pos - 8) +
                    " remain";
            Clear();
            return false;
        }
        // Chunks of other types are skipped, as readers of this format must.
        if (isTrack)
        {
            if (!ParseTrack(data + pos + 8, length, pos + 8, track, events, tempi, error))
            {
                Clear();
                return false;
            }
            ++track;
        }
        pos += 8 + static_cast<std::size_t>(length);
    }

    // One tempo map for all tracks: changes ordered by tick, then track, then position.
    const auto byTime = [](const auto& a, const auto& b)
    {
        if (a.tick != b.tick)
            return a.tick < b.tick;
        if (a.track != b.track)
            return a.track < b.track;
        return a.order < b.order;
    };
    std::sort(tempi.begin(), tempi.end(), byTime);
    std::sort(events.begin(), events.end(), byTime);

    m_events.reserve(events.size());
    std::size_t nextTempo = 0;
    std::uint64_t segmentTick = 0;
    double segmentSeconds = 0.0;
    double secondsPerTick = smpteSecondsPerTick > 0.0 ? smpteSecondsPerTick
                                                      : kDefaultMicrosPerQuarter * 1e-6 /
                                                            static_cast<double>(ticksPerQuarter);
    for (TickEvent& e : events)
    {
        // Tempo changes at the same tick as an event take effect before it.
        while (smpteSecondsPerTick == 0.0 && nextTempo < tempi.size() &&
               tempi[nextTempo].tick <= e.tick)
        {
            const TempoChange& t = tempi[nextTempo++];
            segmentSeconds += static_cast<double>(t.tick - segmentTick) * secondsPerTick;
            segmentTick = t.tick;
            secondsPerTick = t.microsPerQuarter * 1e-6 / static_cast<double>(ticksPerQuarter);
        }
        e.event.seconds =
            segmentSeconds + static_cast<double>(e.tick - segmentTick) * secondsPerTick;
        m_events.push_back(e.event);
    }
    m_format = static_cast<int>(format);
    m_numTracks = static_cast<int>(numTracks);
    return true;
}

bool MidiFile::ParseTrack(const std::uint8_t* data, std::size_t size, std::size_t fileOffset,
                          std::uint32_t track, std::vector<TickEvent>& events,
                          std::vector<TempoChange>& tempi, std::string& error)
{
    std::size_t pos = 0;
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    std::uint32_t order = 0;

    // A variable-length quantity: at most four bytes, seven bits each.
    const auto readLength = [&](std::uint32_t& out) -> bool
    {
        out = 0;
        for (int i = 0; i < 4; ++i)
        {
            if (pos >= size)
            {
                error = At(track, fileOffset + pos) + "track ends inside a number";
                return false;
            }
            const std::uint8_t b = data[pos++];
            out = (out << 7) | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        error = At(track, fileOffset + pos - 4) + "variable-length number longer than 4 bytes";
        return false;
    };

    while (pos < size)
    {
        std::uint32_t delta = 0;
        if (!readLength(delta))
            return false;
        tick += delta;
        if (pos >= size)
        {
            error = At(track, fileOffset + pos) + "track ends after a delta time";
            return false;
        }
        const std::size_t eventStart = pos;
        std::uint8_t status = data[pos];
        if (status < 0x80)
        {
            if (!running)
            {
                error = At(track, fileOffset + pos) + "data byte " + Hex(status) +
                        " without a status byte";
                return false;
            }
            status = running;
        }
        else
            ++pos;

        if (status < 0xF0)
        {
            running = status;
            const int count = (status & 0xE0) == 0xC0 ? 1 : 2; // program change, pressure: 1
            if (size - pos < static_cast<std::size_t>(count))
            {
                error = At(track, fileOffset + eventStart) + "track ends inside a message";
                return false;
            }
            MidiFileEvent e;
            e.status = status;
            e.data1 = data[pos];
            e.data2 = count == 2 ? data[pos + 1] : 0;
            if ((e.data1 | e.data2) & 0x80)
            {
                error = At(track, fileOffset + eventStart) + "message " + Hex(status) +
                        " has a data byte with the top bit set";
                return false;
            }
            pos += count;
            events.push_back({tick, track, order++, e});
            continue;
        }

        // Meta and system-exclusive events cancel running status.
        running = 0;
        if (status == 0xFF)
        {
            if (pos >= size)
            {
                error = At(track, fileOffset + eventStart) + "track ends inside a meta event";
                return false;
            }
            const std::uint8_t type = data[pos++];
            std::uint32_t length = 0;
            if (!readLength(length))
                return false;
            if (length > size - pos)
            {
                error = At(track, fileOffset + eventStart) + "meta event declares " +
                        std::to_string(length) + " bytes but the track has " +
                        std::to_string(size - pos) + " left";
                return false;
            }
            if (type == 0x2F) // end of track: anything after it is not part of the track
                return true;
            if (type == 0x51)
            {
                const std::uint32_t micros = length == 3 ? ReadBE(data + pos, 3) : 0;
                if (micros == 0)
                {
                    error = At(track, fileOffset + eventStart) + "bad tempo event (length " +
                            std::to_string(length) + ", " + std::to_string(micros) +
                            " microseconds per quarter note)";
                    return false;
                }
                tempi.push_back({tick, track, order++, micros});
            }
            pos += length;
            continue;
        }
        if (status == 0xF0 || status == 0xF7)
        {
            std::uint32_t length = 0;
            if (!readLength(length))
                return false;
            if (length > size - pos)
            {
                error = At(track, fileOffset + eventStart) + "system-exclusive event declares " +
                        std::to_string(length) + " bytes but the track has " +
                        std::to_string(size - pos) + " left";
                return false;
            }
            const std::size_t total = length + (status == 0xF0 ? 1u : 0u);
            if (total > 0)
            {
                MidiFileEvent e;
                e.status = 0xF0;
                e.sysexOffset = static_cast<std::uint32_t>(m_sysex.size());
                e.sysexLength = static_cast<std::uint32_t>(total);
                if (status == 0xF0)
                    m_sysex.push_back(0xF0);
                m_sysex.insert(m_sysex.end(), data + pos, data + pos + length);
                events.push_back({tick, track, order++, e});
            }
            pos += length;
            continue;
        }
        error = At(track, fileOffset + eventStart) + "status byte " + Hex(status) +
                " is not allowed in a MIDI file";
        return false;
    }
    return true; // a track without an end-of-track event ends with its chunk
}
