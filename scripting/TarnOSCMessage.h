// One parsed group of a "/tarn/" OSC address: which instances and which parameter it names.
// Filled by the OSC server, carried out by the instance tracker.
#pragma once

#include <cstdint>

struct TarnOSCMessage
{
    // OSC name of the target instances ("Velluna"), or null when the instance is given by its
    // global number.
    const char* instanceName = nullptr;
    // With a name: the local number, or any negative value for every instance of that name.
    // Without a name: the global number.
    std::int32_t instanceNumber = 0;
    // The parameter by display name, or null when it is given by number.
    const char* parameterName = nullptr;
    std::int32_t parameterNumber = 0;
    // Added to the resolved parameter number; 0 for ordinary messages.
    std::int32_t parameterOffset = 0;
};
