// A position in the editor's design pixels: origin at the bottom left, y upward.
#pragma once

namespace TW
{

struct Point
{
    float x = 0.0f;
    float y = 0.0f;
};

} // namespace TW
