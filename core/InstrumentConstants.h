// Numbers that the whole instrument shares.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Tarn
{

constexpr std::uint32_t kNumParams = 181; // identifiers 0..180
constexpr std::uint32_t kNumLiveParams = 140;
constexpr int kNumVoices = 32;
constexpr int kNumPartials = 16;
constexpr int kNumFactoryPresets = 32;
constexpr std::size_t kQueueSlots = 64;       // 63 events can wait at once
constexpr std::uint32_t kMaxSysExBytes = 512; // longest system-exclusive message queued
constexpr int kModRingFrames = 48016;         // modulation delay ring, frames of 4 lines
constexpr int kModMaxDelayFrames = 48000;
constexpr std::size_t kVectorAlign = 32; // bytes: AVX vectors
constexpr int kDefaultOSCBasePort = 7000;
constexpr std::uint32_t kNumGUISwitches = 8;

// Four-character codes of the component.
constexpr std::uint32_t FourCC(const char (&s)[5]) noexcept
{
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}
constexpr std::uint32_t kComponentType = FourCC("aumu");
constexpr std::uint32_t kComponentSubType = FourCC("VeLu");
constexpr std::uint32_t kComponentManufacturer = FourCC("Tarn");

} // namespace Tarn
