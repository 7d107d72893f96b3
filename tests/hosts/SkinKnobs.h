// Where the shipped skin puts its knobs, as the editor tests in real hosts aim real input at
// them; read from an editor of the test's own, on the test's thread. Their windows are read and
// driven with support/X11HostWindow.h.
#pragma once

#include <string>
#include <vector>

namespace VellunaHostTest
{

// A knob of the shipped skin at scale 1: its parameter and its centre in window pixels (from the
// panel's top left).
struct KnobSpot
{
    int id = -1;
    int x = 0, y = 0;
};

// Opens the shipped skin on an instance of this process in a top-level window on the display,
// lists its knobs and closes it again; the panel's design size goes to designWidth and
// designHeight when given. Empty when the editor cannot open.
std::vector<KnobSpot> ShippedSkinKnobs(const std::string& display, int* designWidth = nullptr,
                                       int* designHeight = nullptr);

// The first knob whose parameter rests below its maximum (a drag upward moves it), or a knob
// with id -1.
KnobSpot KnobBelowItsMaximum(const std::vector<KnobSpot>& knobs);

} // namespace VellunaHostTest
