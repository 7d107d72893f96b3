// The built-in demo piece of `velluna render --demo`: about 26 seconds in four sections, each
// on its own factory preset (organ, chimes, a velocity-filtered lead, strings), played with
// chords, melodies, an arpeggio, the sustain pedal and the pitch wheel. Main thread.
#pragma once

#include <string>

class RenderScore;

// Adds the piece to score for the output rate in Hz. False with a message when a preset or a
// parameter it uses is missing.
bool AddDemoPiece(RenderScore& score, double rate, std::string& error);
