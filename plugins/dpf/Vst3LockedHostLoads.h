// Ardour 7 (measured with 7.3) holds its processing lock while it loads a VST3 program or state
// into a plug-in (its preset menu, and the state of a session it opens), and its answer to a
// plug-in's restartComponent takes that same lock again: a plug-in that asks the host to re-read
// its parameter values from inside the load, as the framework's VST3 code does after every
// program change and state load, freezes Ardour for good.
//
// For such a host the framework is given a stand-in for the host's component handler. A restart
// asked for inside a program change or a state load is not passed on; instead
// - after a program change, every parameter whose value the program changed is reported as one
//   edit (begin, perform, end), which Ardour takes without its lock;
// - after a state load nothing is sent: Ardour re-reads every value itself once the state is in.
// Every other call goes to the host's handler as it came. Other hosts get the framework's
// behaviour untouched.
//
// Threads: the host's main thread (VST3 calls these on its UI thread), except where noted.
#pragma once

#include "src/travesty/base.h"
#include "src/travesty/edit_controller.h"

namespace TW::Vst3LockedHostLoads
{

using SetHandlerFn = v3_result(V3_API*)(void*, v3_component_handler**);
using SetParameterFn = v3_result(V3_API*)(void*, v3_param_id, double);
using SetStateFn = v3_result(V3_API*)(void*, struct v3_bstream**);

// Notes from the context a component is initialized with whether the host is one of those.
void NoteHost(v3_funknown** context) noexcept;

// A controller the framework has just built: whatever was known of an earlier object at its
// address is forgotten.
void ForgetController(void* controller) noexcept;

// The controller's set_component_handler and set_parameter_normalised and the component's
// set_state, each calling the framework's own.
v3_result SetComponentHandler(SetHandlerFn framework, void* controller,
                              v3_component_handler** handler) noexcept;
v3_result SetParameter(SetParameterFn framework, void* controller, v3_param_id id,
                       double value) noexcept;
v3_result SetState(SetStateFn framework, void* component, struct v3_bstream** stream) noexcept;

} // namespace TW::Vst3LockedHostLoads
