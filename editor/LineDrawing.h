// Line drawing that several elements share: rectangle outlines and smooth translucent curves.
// Drawing thread, with the editor's GL context current.
#pragma once

#include "Bounds.h"

namespace TW
{

// The outline of b drawn inset by `inset` view points, in the current colour.
void DrawOutline(const Bounds& b, float inset);

// While it lives, lines are drawn smooth and blended in 75 % white, in a frame whose origin is
// (x, y) and whose vertical unit is yScale view points.
class SmoothLineScope
{
public:
    SmoothLineScope(float x, float y, float yScale);
    ~SmoothLineScope();
    SmoothLineScope(const SmoothLineScope&) = delete;
    SmoothLineScope& operator=(const SmoothLineScope&) = delete;
};

} // namespace TW
