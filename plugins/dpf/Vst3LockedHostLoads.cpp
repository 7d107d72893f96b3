#include "Vst3LockedHostLoads.h"

#include "DistrhoPluginInfo.h"
#include "src/DistrhoPluginVST.hpp"
#include "src/travesty/host.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace
{

// Whether the host is one that locks around loads (by its name).
bool LocksAroundLoads(const v3_str_128 name) noexcept
{
    static constexpr char kArdour[] = "Ardour";
    for (std::size_t i = 0; i < sizeof(kArdour); ++i)
        if (name[i] != static_cast<int16_t>(kArdour[i]))
            return false;
    return true;
}

std::atomic<bool> ms_lockingHost{false};

// Set on a thread while the framework runs a load there: restarts asked for are collected here.
thread_local int* t_heldRestarts = nullptr;

// What the framework holds in place of the host's component handler.
class HandlerStandIn
{
public:
    explicit HandlerStandIn(v3_component_handler** host) noexcept : m_table(&kTable), m_host(host)
    {
    }
    v3_component_handler** AsHandler() noexcept
    {
        return reinterpret_cast<v3_component_handler**>(this);
    }
    v3_component_handler** Host() const noexcept { return m_host; }

private:
    struct Table
    {
        v3_funknown unknown;
        v3_component_handler handler;
    };

    static v3_component_handler** HostOf(void* self) noexcept
    {
        return static_cast<HandlerStandIn*>(self)->m_host;
    }

    static constexpr Table kTable = {
        {[](void* self, const v3_tuid iid, void** object) -> v3_result
         {
             // The handler is the stand-in; the host's further interfaces are the host's.
             v3_component_handler** host = HostOf(self);
             if (v3_tuid_match(iid, v3_funknown_iid) ||
                 v3_tuid_match(iid, v3_component_handler_iid))
             {
                 v3_cpp_obj_ref(host);
                 *object = self;
                 return V3_OK;
             }
             return static_cast<v3_funknown*>(static_cast<void*>(*host))
                 ->query_interface(host, iid, object);
         },
         [](void* self) -> uint32_t { return v3_cpp_obj_ref(HostOf(self)); },
         [](void* self) -> uint32_t { return v3_cpp_obj_unref(HostOf(self)); }},
        {[](void* self, v3_param_id id) -> v3_result
         { return v3_cpp_obj(HostOf(self))->begin_edit(HostOf(self), id); },
         [](void* self, v3_param_id id, double value) -> v3_result
         { return v3_cpp_obj(HostOf(self))->perform_edit(HostOf(self), id, value); },
         [](void* self, v3_param_id id) -> v3_result
         { return v3_cpp_obj(HostOf(self))->end_edit(HostOf(self), id); },
         [](void* self, int32_t flags) -> v3_result
         {
             if (t_heldRestarts)
             {
                 *t_heldRestarts |= flags;
                 return V3_OK;
             }
             return v3_cpp_obj(HostOf(self))->restart_component(HostOf(self), flags);
         }}};

    const Table* m_table; // first: the object is its table pointer
    v3_component_handler** m_host;
};

// The stand-in given to each controller's framework code.
std::mutex ms_lock;
std::vector<std::pair<void*, std::unique_ptr<HandlerStandIn>>> ms_standIns;

v3_component_handler** HostHandlerOf(void* controller) noexcept
{
    std::lock_guard<std::mutex> lock(ms_lock);
    for (const auto& [owner, standIn] : ms_standIns)
        if (owner == controller)
            return standIn->Host();
    return nullptr;
}

void Forget(void* controller) noexcept
{
    for (auto it = ms_standIns.begin(); it != ms_standIns.end(); ++it)
        if (it->first == controller)
        {
            ms_standIns.erase(it);
            return;
        }
}

// While one lives, the restarts the framework asks for on this thread are held back in flags.
struct HeldRestarts
{
    HeldRestarts() noexcept { t_heldRestarts = &flags; }
    ~HeldRestarts() { t_heldRestarts = nullptr; }
    HeldRestarts(const HeldRestarts&) = delete;
    HeldRestarts& operator=(const HeldRestarts&) = delete;
    int flags = 0;
};

v3_edit_controller* Controller(void* controller) noexcept
{
    return v3_cpp_obj(static_cast<v3_edit_controller**>(controller));
}

} // namespace

void TW::Vst3LockedHostLoads::NoteHost(v3_funknown** context) noexcept
{
    v3_host_application** application = nullptr;
    v3_str_128 name = {};
    bool named = false;
    if (context &&
        v3_cpp_obj_query_interface(context, v3_host_application_iid, &application) == V3_OK &&
        application)
    {
        named = v3_cpp_obj(application)->get_name(application, name) == V3_OK;
        v3_cpp_obj_unref(application);
    }
    ms_lockingHost.store(named && LocksAroundLoads(name));
}

void TW::Vst3LockedHostLoads::ForgetController(void* controller) noexcept
{
    std::lock_guard<std::mutex> lock(ms_lock);
    Forget(controller);
}

v3_result TW::Vst3LockedHostLoads::SetComponentHandler(SetHandlerFn framework, void* controller,
                                                       v3_component_handler** handler) noexcept
{
    if (!ms_lockingHost.load())
        return framework(controller, handler);
    std::lock_guard<std::mutex> lock(ms_lock);
    std::unique_ptr<HandlerStandIn> standIn;
    try
    {
        if (handler)
        {
            standIn = std::make_unique<HandlerStandIn>(handler);
            ms_standIns.reserve(ms_standIns.size() + 1);
        }
    }
    catch (...)
    {
        standIn.reset();
    }
    if (handler && !standIn)
        return framework(controller, handler);
    // The framework lets go of the old stand-in before it is deleted.
    const v3_result result = framework(controller, standIn ? standIn->AsHandler() : nullptr);
    Forget(controller);
    if (standIn)
        ms_standIns.emplace_back(controller, std::move(standIn));
    return result;
}

v3_result TW::Vst3LockedHostLoads::SetParameter(SetParameterFn framework, void* controller,
                                                v3_param_id id, double value) noexcept
{
    v3_component_handler** host =
        ms_lockingHost.load() && id == DISTRHO::kVst3InternalParameterProgram
            ? HostHandlerOf(controller)
            : nullptr;
    if (!host)
        return framework(controller, id, value);

    // The plug-in's own parameters follow the framework's.
    v3_edit_controller* ec = Controller(controller);
    const int32_t count = ec->get_parameter_count(controller);
    constexpr int32_t first = DISTRHO::kVst3InternalParameterCount;
    std::vector<double> before;
    try
    {
        before.reserve(static_cast<std::size_t>(count > first ? count - first : 0));
    }
    catch (...)
    {
        return framework(controller, id, value);
    }
    for (int32_t p = first; p < count; ++p)
        before.push_back(ec->get_parameter_normalised(controller, static_cast<v3_param_id>(p)));

    v3_result result = V3_OK;
    {
        HeldRestarts held;
        result = framework(controller, id, value);
        // A program change asks only for the values to be re-read.
        if (!(held.flags & V3_RESTART_PARAM_VALUES_CHANGED))
            return result;
    }
    auto* handler = v3_cpp_obj(host);
    for (int32_t p = first; p < count; ++p)
    {
        const auto pid = static_cast<v3_param_id>(p);
        const double now = ec->get_parameter_normalised(controller, pid);
        if (now == before[static_cast<std::size_t>(p - first)])
            continue;
        handler->begin_edit(host, pid);
        handler->perform_edit(host, pid, now);
        handler->end_edit(host, pid);
    }
    return result;
}

v3_result TW::Vst3LockedHostLoads::SetState(SetStateFn framework, void* component,
                                            struct v3_bstream** stream) noexcept
{
    if (!ms_lockingHost.load())
        return framework(component, stream);
    // The host re-reads every value after the state is in; the restart is not passed on.
    HeldRestarts held;
    return framework(component, stream);
}
