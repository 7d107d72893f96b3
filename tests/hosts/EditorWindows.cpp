// GoogleTest's and Xlib's names clash (None, Bool): this file uses neither GoogleTest nor the
// editor's headers after Xlib.
#include "editor/Group.h"
#include "editor/Knob.h"
#include "editor/Manager.h"
#include "plugins/editor/PluginEditor.h"
#include "support/TestInstance.h"

#include "EditorWindows.h"

#include "core/ParameterTable.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <set>
#include <thread>

namespace VellunaHostTest
{

namespace
{

void CollectKnobs(const TW::Group* group, std::vector<const TW::Knob*>& knobs)
{
    for (const TW::UIElement* child : group->Children())
    {
        if (const auto* knob = dynamic_cast<const TW::Knob*>(child))
            knobs.push_back(knob);
        else if (const auto* inner = dynamic_cast<const TW::Group*>(child))
            CollectKnobs(inner, knobs);
    }
}

} // namespace

std::vector<KnobSpot> ShippedSkinKnobs(const std::string& display)
{
    TarnTest::TestInstance synth(48000.0, false);
    TW::PluginEditor editor(*synth.get(), 0, 1, {}, "knobs", display.c_str());
    std::vector<KnobSpot> spots;
    if (!editor.IsOpen())
        return spots;
    int width = 0, height = 0;
    editor.GetSize(width, height);
    std::vector<const TW::Knob*> knobs;
    CollectKnobs(editor.GetManager()->GetRoot(), knobs);
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

std::size_t DistinctColours(Display* display, Window window)
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return 0;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return 0;
    std::set<unsigned long> colours;
    for (int y = 0; y < attributes.height; y += 2)
        for (int x = 0; x < attributes.width; x += 2)
            colours.insert(XGetPixel(image, x, y) & 0xffffff);
    XDestroyImage(image);
    return colours.size();
}

std::vector<Window> Descendants(Display* display, Window window)
{
    std::vector<Window> all;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return all;
    for (unsigned i = 0; i < count; ++i)
    {
        all.push_back(children[i]);
        const std::vector<Window> below = Descendants(display, children[i]);
        all.insert(all.end(), below.begin(), below.end());
    }
    if (children)
        XFree(children);
    return all;
}

std::string WindowName(Display* display, Window window)
{
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return {};
    std::string result = name;
    XFree(name);
    return result;
}

void DragUp(Display* display, Window window, int x, int y, int up,
            const std::function<void()>& pump)
{
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY,
                          &child);
    const auto step = [&]
    {
        XSync(display, False);
        for (int i = 0; i < 4; ++i)
        {
            pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    XTestFakeMotionEvent(display, -1, rootX, rootY, 0);
    step();
    XTestFakeButtonEvent(display, 1, True, 0);
    step();
    for (int i = 1; i <= 4; ++i)
    {
        XTestFakeMotionEvent(display, -1, rootX, rootY - up * i / 4, 0);
        step();
    }
    XTestFakeButtonEvent(display, 1, False, 0);
    step();
}

} // namespace VellunaHostTest
