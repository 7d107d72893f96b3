// Plain audio data types of the host interface: buffers, time stamps, render flags, scopes.
#pragma once

#include <cstdint>

namespace TW
{

enum class Scope : std::uint32_t
{
    Global = 0,
    Input = 1,
    Output = 2,
    Group = 3,
};

using Element = std::uint32_t;
using PropertyID = std::uint32_t;
using ParameterID = std::uint32_t;

// Render action flag: the host may skip processing of an output marked silent.
constexpr std::uint32_t kRenderOutputIsSilence = 0x10;

struct AudioBuffer
{
    std::uint32_t numberChannels = 1;
    std::uint32_t dataByteSize = 0; // bytes
    void* data = nullptr;
};

// A bus's buffers: one per channel for non-interleaved float audio.
struct AudioBufferList
{
    static constexpr std::uint32_t kMaxBuffers = 8;
    std::uint32_t numberBuffers = 0;
    AudioBuffer buffers[kMaxBuffers];
};

struct AudioTimeStamp
{
    double sampleTime = 0.0; // frames since the stream began
    std::uint64_t hostTime = 0;
};

// One channel configuration that a unit supports (input and output channel counts).
struct ChannelInfo
{
    std::int16_t inChannels;
    std::int16_t outChannels;
};

// A note's pitch and velocity as the host's note call hands them over (MIDI units, may carry
// fractions).
struct NoteParams
{
    float pitch = 60.0f;
    float velocity = 100.0f;
};

} // namespace TW
