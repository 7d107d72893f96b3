// The knobs of a laid-out panel, found by walking its groups: what the editor tests aim real
// input at. Header only, so that the test helpers' library needs no editor library of its own.
#pragma once

#include "editor/Group.h"
#include "editor/Knob.h"

#include <vector>

namespace TarnTest
{

// Appends every knob below `group`, depth first, in the panel's order.
inline void CollectKnobs(const TW::Group* group, std::vector<const TW::Knob*>& knobs)
{
    for (const TW::UIElement* child : group->Children())
    {
        if (const auto* knob = dynamic_cast<const TW::Knob*>(child))
            knobs.push_back(knob);
        else if (const auto* inner = dynamic_cast<const TW::Group*>(child))
            CollectKnobs(inner, knobs);
    }
}

} // namespace TarnTest
