#include "ShippedKnobs.h"

#include "X11HostWindow.h"

#include "editor/Group.h"
#include "editor/Knob.h"
#include "editor/Manager.h"
#include "plugins/driver/PluginInstance.h"
#include "plugins/editor/PluginEditor.h"

namespace VellunaHostTest
{
namespace
{

void Collect(const TW::Group* group, int height, std::vector<KnobPlace>& knobs)
{
    for (const TW::UIElement* child : group->Children())
    {
        if (const auto* knob = dynamic_cast<const TW::Knob*>(child))
        {
            TW::Bounds b;
            knob->GetWorldBounds(b);
            // The editor counts rows from the bottom, X from the top.
            knobs.push_back({knob->GetParam().index, static_cast<int>(b.CentreX()),
                             height - static_cast<int>(b.CentreY())});
        }
        else if (const auto* inner = dynamic_cast<const TW::Group*>(child))
            Collect(inner, height, knobs);
    }
}

} // namespace

std::vector<KnobPlace> ShippedKnobs(const std::string& display, int& designWidth, int& designHeight)
{
    std::vector<KnobPlace> knobs;
    X11HostWindow parent(display, 0, 0, 64, 64);
    TW::PluginInstance instance;
    TW::PluginEditor editor(instance.Synth(), parent.Id(), 1, {}, "layout", display.c_str());
    if (!editor.IsOpen())
        return knobs;
    editor.GetDesignSize(designWidth, designHeight);
    Collect(editor.GetManager()->GetRoot(), designHeight, knobs);
    return knobs;
}

} // namespace VellunaHostTest
