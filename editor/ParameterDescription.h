// The editor's private copy of one parameter's description, and the mapping between a control's
// normalised position (0..1) and the parameter's value.
#pragma once

#include "platform/MusicDeviceBase.h"

#include <cstddef>
#include <string>
#include <vector>

namespace TW
{

// Unit numbers of the host's published list beyond those the instrument's table uses; the
// editor names every unit a parameter may carry.
enum ExtraParameterUnit : std::uint32_t
{
    kUnitSampleFrames = 5,
    kUnitPhase = 6,
    kUnitRate = 7,
    kUnitAbsoluteCents = 11,
    kUnitOctaves = 12,
    kUnitBPM = 13,
    kUnitDecibels = 15,
    kUnitDegrees = 16,
    kUnitEqualPowerCrossfade = 18,
    kUnitPan = 19,
    kUnitMeters = 20,
    kUnitBeats = 21,
    kUnitMIDINoteNumber = 22,
    kUnitMIDIController = 23,
    kUnitRatio = 25,
    kUnitCustomUnit = 26,
};

struct ParameterDescription
{
    int index = -1; // the parameter identifier; -1 for a record the instrument did not describe
    std::string name;
    std::uint32_t unit = kUnitGeneric;
    float minValue = 0.0f;
    float maxValue = 0.0f;
    float defaultValue = 0.0f;
    std::uint32_t flags = 0;
    std::string unitName; // custom units only
    std::vector<std::string> valueStrings;

    // Reads the instrument's description of id; a refused id leaves an empty record. Main thread.
    static ParameterDescription FromInstrument(MusicDeviceBase& instrument, ParameterID id);

    // Number of named values: the strings of an indexed parameter, or max + 1 - min for MIDI
    // note and controller units.
    std::size_t NamedValueCount() const noexcept;
    // The unit's abbreviation in the read-out ("" for none).
    const char* UnitAbbreviation() const noexcept;
};

// Parameter value at normalised position n. Any thread.
float AUParameterValueFromLinear(float n, const ParameterDescription& param) noexcept;
// Normalised position of value v. Any thread.
float AUParameterValueToLinear(float v, const ParameterDescription& param) noexcept;
// v with 4 significant digits ("%.3f" below 10, "%.2f" below 100 and so on); out holds at least
// 64 bytes. Any thread.
void AUParameterFormatValue(double v, int digits, char* out, std::size_t size) noexcept;

} // namespace TW
