// The LV2 UI descriptor the bundle exports: the framework's, with an instantiate call that first
// notes the host's ui:resize feature, which the framework does not hand its UIs. The editor takes
// it while the framework builds it (inside the instantiate call, on the same thread) and asks the
// host through it to follow the panel's corner drags.
#include "VellunaDpfAccess.h"

#include "DistrhoUI.hpp"

#include <lv2/ui/ui.h>

#include <cstring>

// The framework's descriptor, renamed where its UI entry is compiled (see CMakeLists.txt).
extern "C" const LV2UI_Descriptor* velluna_framework_lv2ui_descriptor(uint32_t index);

namespace
{

thread_local const LV2UI_Resize* ms_nextResize = nullptr;
LV2UI_Handle (*ms_frameworkInstantiate)(const LV2UI_Descriptor*, const char*, const char*,
                                        LV2UI_Write_Function, LV2UI_Controller, LV2UI_Widget*,
                                        const LV2_Feature* const*) = nullptr;

// Host's UI thread.
LV2UI_Handle Instantiate(const LV2UI_Descriptor* descriptor, const char* pluginUri,
                         const char* bundlePath, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features)
{
    ms_nextResize = nullptr;
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, LV2_UI__resize) == 0)
            ms_nextResize = static_cast<const LV2UI_Resize*>(features[i]->data);
    LV2UI_Handle handle = ms_frameworkInstantiate(descriptor, pluginUri, bundlePath, write,
                                                  controller, widget, features);
    ms_nextResize = nullptr;
    return handle;
}

} // namespace

const void* TW::TakeLv2HostResize() noexcept
{
    const LV2UI_Resize* resize = ms_nextResize;
    ms_nextResize = nullptr;
    return resize;
}

// Any thread (hosts read descriptors while loading).
DISTRHO_PLUGIN_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
    static const LV2UI_Descriptor* const ms_descriptor = []() -> const LV2UI_Descriptor*
    {
        const LV2UI_Descriptor* framework = velluna_framework_lv2ui_descriptor(0);
        if (!framework)
            return nullptr;
        static LV2UI_Descriptor ours = *framework;
        ms_frameworkInstantiate = framework->instantiate;
        ours.instantiate = &Instantiate;
        return &ours;
    }();
    return index == 0 ? ms_descriptor : nullptr;
}
