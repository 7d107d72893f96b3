// Builds Standard MIDI File images byte by byte for tests, so no binary files are committed.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace TarnTest
{

using Bytes = std::vector<std::uint8_t>;

inline void AppendBE(Bytes& out, std::uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A variable-length quantity as the file format writes it.
inline Bytes Vlq(std::uint32_t v)
{
    Bytes out{static_cast<std::uint8_t>(v & 0x7F)};
    while (v >>= 7)
        out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (v & 0x7F)));
    return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division)
{
    Bytes out{'M', 'T', 'h', 'd'};
    AppendBE(out, 6, 4);
    AppendBE(out, format, 2);
    AppendBE(out, tracks, 2);
    AppendBE(out, division, 2);
    return out;
}

// A chunk of the given type around body, its length filled in.
inline Bytes Chunk(const char* type, const Bytes& body)
{
    Bytes out(type, type + 4);
    AppendBE(out, static_cast<std::uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes Track(const Bytes& events)
{
    return Chunk("MTrk", events);
}

inline Bytes EndOfTrack(std::uint32_t delta = 0)
{
    return Cat({Vlq(delta), {0xFF, 0x2F, 0x00}});
}

// A set-tempo meta event: microseconds per quarter note.
inline Bytes Tempo(std::uint32_t delta, std::uint32_t micros)
{
    Bytes out = Cat({Vlq(delta), {0xFF, 0x51, 0x03}});
    AppendBE(out, micros, 3);
    return out;
}

inline std::string ToString(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

} // namespace TarnTest
