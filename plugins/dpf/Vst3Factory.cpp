// The VST3 factory the bundle exports: the framework's, with changes to what its components and
// edit controllers do.
// - The framework cannot hold a value in its first plug-in parameter, so that one is a placeholder
//   (see VellunaDpfAccess.h), and it has no hint that hides a plug-in parameter: a host would list
//   "Reserved" among the instrument's controls. The placeholder's parameter information gains the
//   hidden flag, so hosts leave it out of their lists and automation menus.
// - Program changes and state loads in hosts that lock around them (Vst3LockedHostLoads.h).
//
// The framework's interface objects carry their function tables inline, one per object, set when
// the object is built. The factory's create-instance entry is replaced on each factory, the
// component's entries on each component it creates, and the controller's entries when the
// component first hands the controller out (the component builds it in that very call, so no
// host thread can be calling it yet). Every replacement calls the framework's own function.
#include "VellunaDpfAccess.h"
#include "Vst3LockedHostLoads.h"

#include "DistrhoPluginInfo.h"
#include "src/DistrhoPluginVST.hpp"
#include "src/travesty/component.h"
#include "src/travesty/edit_controller.h"
#include "src/travesty/factory.h"

#include <atomic>

// The framework's factory entry, renamed where its VST3 code is compiled (see CMakeLists.txt).
extern "C" const void* velluna_framework_GetPluginFactory(void);

namespace
{

static_assert(TW::kFirstLiveIndex == 1, "the VST3 build keeps one placeholder before the live "
                                        "parameters");
// The framework numbers plug-in parameters after its own (program, MIDI controllers).
constexpr v3_param_id kPlaceholderId = DISTRHO::kVst3InternalParameterCount;

// The framework's own functions: static functions of its classes, the same for every object, so
// each is the same value whenever it is written (atomic: hosts create objects on any thread).
template <auto Ours> std::atomic<decltype(Ours)> ms_framework{nullptr};

// Puts Ours in an object's table entry, keeping the framework's function.
template <auto Ours> void Replace(decltype(Ours)& entry) noexcept
{
    if (entry == Ours)
        return;
    ms_framework<Ours>.store(entry);
    entry = Ours;
}

// Any thread the host asks from.
v3_result V3_API ParameterInfo(void* self, int32_t index, v3_param_info* info)
{
    const v3_result result = ms_framework<&ParameterInfo>.load()(self, index, info);
    if (result == V3_OK && info->param_id == kPlaceholderId)
        info->flags |= V3_PARAM_IS_HIDDEN;
    return result;
}

v3_result V3_API SetComponentHandler(void* self, v3_component_handler** handler)
{
    return TW::Vst3LockedHostLoads::SetComponentHandler(ms_framework<&SetComponentHandler>.load(),
                                                        self, handler);
}

v3_result V3_API SetParameter(void* self, v3_param_id id, double value)
{
    return TW::Vst3LockedHostLoads::SetParameter(ms_framework<&SetParameter>.load(), self, id,
                                                 value);
}

v3_result V3_API SetState(void* self, v3_bstream** stream)
{
    return TW::Vst3LockedHostLoads::SetState(ms_framework<&SetState>.load(), self, stream);
}

v3_result V3_API Initialize(void* self, v3_funknown** context)
{
    TW::Vst3LockedHostLoads::NoteHost(context);
    return ms_framework<&Initialize>.load()(self, context);
}

// Any thread the host asks from.
v3_result V3_API ComponentQuery(void* self, const v3_tuid iid, void** iface)
{
    const v3_result result = ms_framework<&ComponentQuery>.load()(self, iid, iface);
    if (result != V3_OK || !v3_tuid_match(iid, v3_edit_controller_iid) || !*iface)
        return result;
    v3_edit_controller_cpp* controller = *static_cast<v3_edit_controller_cpp**>(*iface);
    if (controller->ctrl.get_parameter_info == &ParameterInfo)
        return result;
    // Built just now by this call.
    TW::Vst3LockedHostLoads::ForgetController(*iface);
    Replace<&ParameterInfo>(controller->ctrl.get_parameter_info);
    Replace<&SetComponentHandler>(controller->ctrl.set_component_handler);
    Replace<&SetParameter>(controller->ctrl.set_parameter_normalised);
    return result;
}

// Any thread the host creates instances from.
v3_result V3_API CreateInstance(void* self, const v3_tuid classId, const v3_tuid iid,
                                void** instance)
{
    const v3_result result = ms_framework<&CreateInstance>.load()(self, classId, iid, instance);
    if (result != V3_OK || !*instance ||
        !(v3_tuid_match(iid, v3_component_iid) || v3_tuid_match(iid, v3_funknown_iid)))
        return result;
    v3_component_cpp* component = *static_cast<v3_component_cpp**>(*instance);
    Replace<&ComponentQuery>(component->query_interface);
    Replace<&Initialize>(component->base.initialize);
    Replace<&SetState>(component->comp.set_state);
    return result;
}

} // namespace

// Host's main thread (hosts fetch the factory once per module load, scanners too).
DISTRHO_PLUGIN_EXPORT const void* GetPluginFactory(void)
{
    const void* framework = velluna_framework_GetPluginFactory();
    if (!framework)
        return nullptr;
    v3_plugin_factory_cpp* factory =
        *static_cast<v3_plugin_factory_cpp* const*>(const_cast<void*>(framework));
    Replace<&CreateInstance>(factory->v1.create_instance);
    return framework;
}
