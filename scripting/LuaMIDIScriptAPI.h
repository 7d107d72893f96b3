// The global functions that the MIDI scripting host offers to scripts: parameter access,
// handler registration per MIDI message type, timers, GUI indicators, other instances and OSC.
// Each finds its helper through the interpreter's registry (LuaMIDIHelper::getRefCon) and runs on
// whatever thread runs the script, with the script lock held.
#pragma once

struct lua_State;

namespace TW
{

class LuaMIDIScriptAPI
{
public:
    // Registers the 36 functions as globals of L.
    static void Register(lua_State* L);

private:
    // Parameters.
    static int setParameter(lua_State* L);
    static int getParameter(lua_State* L);
    static int getParameterID(lua_State* L);
    static int getParameterMinMax(lua_State* L);
    static int getParameterUnit(lua_State* L);
    static int getParameterName(lua_State* L);
    static int isParameterUsed(lua_State* L);
    static int getNumParameters(lua_State* L);
    // Other instances, through the instance tracker.
    static int setOthersParameter(lua_State* L);
    static int getOthersParameter(lua_State* L);
    static int setOthersGUIBoolValue(lua_State* L);
    static int getOthersGUIBoolValue(lua_State* L);
    // Handlers.
    static int requestAllNoteOn(lua_State* L);
    static int requestAllNoteOff(lua_State* L);
    static int requestAllCC(lua_State* L);
    static int requestAllNRPN(lua_State* L);
    static int requestAllProgramChange(lua_State* L);
    static int requestAllPolyPressure(lua_State* L);
    static int requestNoteOn(lua_State* L);
    static int requestNoteOff(lua_State* L);
    static int requestCC(lua_State* L);
    static int requestNRPN(lua_State* L);
    static int requestProgramChange(lua_State* L);
    static int requestPolyPressure(lua_State* L);
    static int requestPitchWheel(lua_State* L);
    static int requestChannelPressure(lua_State* L);
    // Time and timers.
    static int time(lua_State* L);
    static int requestTimedCallback(lua_State* L);
    static int requestPeriodicCallback(lua_State* L);
    static int requestTimerCallback(lua_State* L, bool periodic);
    static int cancelTimer(lua_State* L);
    // GUI indicators of this instance.
    static int setGUIBoolValue(lua_State* L);
    static int getGUIBoolValue(lua_State* L);
    // OSC, served by the instance's OSC server.
    static int sendOSC(lua_State* L);
    static int registerOSCPathForParameter(lua_State* L);
    static int registerOSCPathForParameterNormalized(lua_State* L);
    static int registerOSCPathForFunction(lua_State* L);
};

} // namespace TW
