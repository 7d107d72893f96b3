// The built-in demo piece of `velluna render --demo`: about 25 seconds in four sections, each
// with its own sound made by parameter changes (partial levels, partial envelopes, pulse width,
// filter, LFOs, the modulation effect), played with chords, a melody, the sustain pedal and the
// pitch wheel. Main thread.
#pragma once

#include <string>

class RenderScore;

// Adds the piece to score for the output rate in Hz. False with a message when a parameter it
// uses is missing from the parameter table.
bool AddDemoPiece(RenderScore& score, double rate, std::string& error);
