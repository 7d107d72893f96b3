#include "ShippedKnobs.h"

#include "editor/Manager.h"
#include "plugins/driver/PluginInstance.h"
#include "plugins/editor/PluginEditor.h"
#include "support/PanelKnobs.h"
#include "support/X11HostWindow.h"

namespace VellunaHostTest
{
std::vector<KnobPlace> ShippedKnobs(const std::string& display, int& designWidth, int& designHeight)
{
    std::vector<KnobPlace> knobs;
    TarnTest::X11HostWindow parent(display, 0, 0, 64, 64);
    TW::PluginInstance instance;
    TW::PluginEditor editor(instance.Synth(), parent.Id(), 1, {}, "layout", display.c_str());
    if (!editor.IsOpen())
        return knobs;
    editor.GetDesignSize(designWidth, designHeight);
    std::vector<const TW::Knob*> found;
    TarnTest::CollectKnobs(editor.GetManager()->GetRoot(), found);
    for (const TW::Knob* knob : found)
    {
        TW::Bounds b;
        knob->GetWorldBounds(b);
        // The editor counts rows from the bottom, X from the top.
        knobs.push_back({knob->GetParam().index, static_cast<int>(b.CentreX()),
                         designHeight - static_cast<int>(b.CentreY())});
    }
    return knobs;
}

} // namespace VellunaHostTest
