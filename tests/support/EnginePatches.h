// Parameter sets for engine tests and benchmarks, set by display name.
#pragma once

#include "platform/ParameterElement.h"

namespace TarnTest
{

// Every live parameter at its table default.
void SetDefaults(TW::ParameterElement& params);

// Sets the parameter with this display name; throws if there is none.
void SetByName(TW::ParameterElement& params, const char* name, float value);

// The heavy patch: all 16 partials at level, partials spread over the three partial envelopes
// (with different times and shapes), all four LFOs moving, pulse-width LFO and envelope,
// band-pass filter with envelope and LFO, and the modulation effect with 4 voices and feedback.
void SetHeavyPatch(TW::ParameterElement& params);

} // namespace TarnTest
