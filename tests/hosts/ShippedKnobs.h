// Where the shipped skin puts its knobs: read from an editor of this process's own, opened at
// the design size on the given X server, for a test to aim real input at the plug-in's editor.
#pragma once

#include <string>
#include <vector>

namespace VellunaHostTest
{

struct KnobPlace
{
    int param = -1;
    // The knob's centre in view points from the panel's top left, at the design size.
    int x = 0;
    int y = 0;
};

// Empty when the editor cannot open there.
std::vector<KnobPlace> ShippedKnobs(const std::string& display, int& designWidth,
                                    int& designHeight);

} // namespace VellunaHostTest
