#include "SkinKnobs.h"

#include "core/ParameterTable.h"
#include "editor/Manager.h"
#include "plugins/editor/PluginEditor.h"
#include "support/PanelKnobs.h"
#include "support/TestInstance.h"

namespace VellunaHostTest
{

std::vector<KnobSpot> ShippedSkinKnobs(const std::string& display, int* designWidth,
                                       int* designHeight)
{
    TarnTest::TestInstance synth(48000.0, false);
    TW::PluginEditor editor(*synth.get(), 0, 1, {}, "knobs", display.c_str());
    std::vector<KnobSpot> spots;
    if (!editor.IsOpen())
        return spots;
    int width = 0, height = 0;
    editor.GetDesignSize(width, height);
    if (designWidth)
        *designWidth = width;
    if (designHeight)
        *designHeight = height;
    std::vector<const TW::Knob*> knobs;
    TarnTest::CollectKnobs(editor.GetManager()->GetRoot(), knobs);
    for (const TW::Knob* knob : knobs)
    {
        TW::Bounds b;
        knob->GetWorldBounds(b);
        // The panel counts rows from the bottom, X from the top.
        spots.push_back({knob->GetParam().index, static_cast<int>(b.CentreX()),
                         height - static_cast<int>(b.CentreY())});
    }
    return spots;
}

KnobSpot KnobBelowItsMaximum(const std::vector<KnobSpot>& knobs)
{
    for (const KnobSpot& k : knobs)
        if (k.id >= 0 && k.id < static_cast<int>(Tarn::kNumParams) &&
            Tarn::astParamInfos[k.id].defaultValue < Tarn::astParamInfos[k.id].maxValue)
            return k;
    return {};
}

} // namespace VellunaHostTest
