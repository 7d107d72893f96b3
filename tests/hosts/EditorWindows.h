// What the editor tests in real hosts need to see of X windows: where the shipped skin puts its
// knobs, whether a window shows a drawn panel, the windows below a window, and a drag made with
// real (XTest) input.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <functional>
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
// lists its knobs and closes it again. Empty when the editor cannot open.
std::vector<KnobSpot> ShippedSkinKnobs(const std::string& display);

// The first knob whose parameter rests below its maximum (a drag upward moves it), or a knob
// with id -1.
KnobSpot KnobBelowItsMaximum(const std::vector<KnobSpot>& knobs);

// Distinct colours among the window's pixels (every other row and column); 0 when the window is
// not viewable.
std::size_t DistinctColours(Display* display, Window window);

// Every window below this one, depth first.
std::vector<Window> Descendants(Display* display, Window window);

// The window's name, empty when it has none.
std::string WindowName(Display* display, Window window);

// Presses button 1 at (x, y) of the window, moves up by `up` pixels in four steps and releases,
// calling pump() after each event (the host's loop).
void DragUp(Display* display, Window window, int x, int y, int up,
            const std::function<void()>& pump);

} // namespace VellunaHostTest
