// The parameters as plug-in formats list them: the 140 live identifiers at fixed positions, with
// stable symbols, display units and sections. Everything is read from the parameter table.
#pragma once

#include "platform/AudioTypes.h"

#include <cstdint>
#include <string>

namespace TW
{

class PluginParameterMap
{
public:
    // Number of listed parameters: the live identifiers.
    static std::uint32_t Count() noexcept;

    // The identifier at list position index (0 .. Count()-1), in ascending identifier order.
    // Hosts store positions in their sessions, so this order never changes. Any thread.
    static ParameterID IdAt(std::uint32_t index) noexcept;

    // The list position of a live identifier, or -1. Any thread.
    static int IndexOf(ParameterID id) noexcept;

    // "p" followed by the identifier ("p139"): stable port symbols and keys.
    static std::string Symbol(ParameterID id);

    // Display unit of a parameter ("s", "Hz", "ct", "st", "%", "ms"), empty for none.
    static const char* UnitText(ParameterID id) noexcept;

    // Whether the parameter takes whole numbers only (indexed and boolean units).
    static bool IsStepped(ParameterID id) noexcept;
    static bool IsBoolean(ParameterID id) noexcept;

    // The instrument section a parameter belongs to ("Partials", "Envelope 2", "LFO 3", ...).
    static const char* Section(ParameterID id) noexcept;
    // Sections numbered 0 .. SectionCount()-1 in order of their first parameter.
    static std::uint32_t SectionCount() noexcept;
    static std::uint32_t SectionIndex(ParameterID id) noexcept;
    static const char* SectionName(std::uint32_t section) noexcept;
};

} // namespace TW
