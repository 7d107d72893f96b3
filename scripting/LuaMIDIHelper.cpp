#include "LuaMIDIHelper.h"

#include "LuaMIDIScriptAPI.h"
#include "TarnInstanceTracker.h"

#include "core/FileLoader.h"
#include "core/ParameterTable.h"
#include "core/RegularFile.h"
#include "core/TarnAdditiveSynth.h"
#include "core/UserFolders.h"
#include "core/VellunaVersion.h"
#include "platform/LogRing.h"
#include "platform/MusicDeviceBase.h"

#include <lua.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

namespace TW
{

const char LuaMIDIHelper::kMetatableTagTimer[] = "TW::LuaMIDIHelper::Timer";
const char LuaMIDIHelper::kRefcon[] = "TW::LuaMIDIHelper::kRefcon";
const char LuaMIDIHelper::kParamLookup[] = "TW::LuaMIDIHelper::kParamLookup";
namespace
{

// An error outside any protected call (only out of memory can cause one here). The interpreter
// ends the process after this returns.
int LuaPanic(lua_State* L)
{
    const char* text = lua_tostring(L, -1);
    std::printf("@@@ unprotected error in the MIDI script interpreter: %s\n",
                text ? text : "(not a string)");
    std::fflush(stdout);
    return 0;
}

// The error value at the top of the stack as text, also when a script raised a non-string.
const char* ErrorText(lua_State* L)
{
    const char* text = lua_tostring(L, -1);
    return text ? text : "(error object is not a string)";
}

// Loads a user script file as luaL_loadfile would (same chunk name and messages), but only when it
// is a regular file: a FIFO or device in the Scripts folder must not block loading.
int LoadScriptFile(lua_State* L, const std::string& path)
{
    std::string text, error;
    if (!ReadRegularFile(path, FileLoader::kMaxResourceBytes, text, error))
    {
        lua_pushstring(L, error.c_str());
        return LUA_ERRFILE;
    }
    // A first line starting with '#' is skipped, as the stand-alone interpreter does.
    std::size_t start = 0;
    if (!text.empty() && text[0] == '#')
    {
        start = text.find('\n');
        if (start == std::string::npos)
            start = text.size();
    }
    const std::string chunk = "@" + path;
    return luaL_loadbuffer(L, text.data() + start, text.size() - start, chunk.c_str());
}

bool BeginsWithMidiLua(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.compare(0, 8, "midi.lua") == 0;
}

} // namespace

LuaMIDIHelper::LuaMIDIHelper(MusicDeviceBase* instance, MessageQueue& queue, OSCHelper* osc)
    : m_instance(instance), m_queue(queue), m_osc(osc)
{
}

LuaMIDIHelper::~LuaMIDIHelper()
{
    CancelAllTimers();
    LuaShutdown();
}

void LuaMIDIHelper::Initialize()
{
    // Timer and OSC threads may be running scripts that read these.
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    std::uint32_t count = 0;
    std::uint32_t size = sizeof count;
    if (m_instance->DispatchGetProperty(kPropertyParameterCount, Scope::Global, 0, &count, &size) ==
        kNoErr)
        m_paramCount = static_cast<int>(count);
    const void* table = nullptr;
    size = sizeof table;
    if (m_instance->DispatchGetProperty(kPropertyParameterTable, Scope::Global, 0, &table, &size) ==
        kNoErr)
        m_paramInfos = table;
}

lua_State* LuaMIDIHelper::LuaInit()
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    if (m_L)
        return m_L;

    lua_State* L = m_guard.NewState();
    if (!L)
    {
        LuaError(nullptr, "cannot create the MIDI script interpreter\n");
        return nullptr;
    }
    lua_atpanic(L, LuaPanic);

    LuaMIDIScriptAPI::Register(L);
    luaL_newmetatable(L, kMetatableTagTimer);
    lua_pop(L, 1);

    lua_register(L, "print", Print);

    m_L = L;
    RegisterFunctions();

    lua_pushlightuserdata(L, const_cast<char*>(kRefcon));
    lua_pushlightuserdata(L, this);
    lua_rawset(L, LUA_REGISTRYINDEX);

    m_paramLookup.Build(static_cast<const Tarn::ParamInfo*>(m_paramInfos), m_paramCount);
    lua_pushlightuserdata(L, const_cast<char*>(kParamLookup));
    lua_pushlightuserdata(L, &m_paramLookup);
    lua_rawset(L, LUA_REGISTRYINDEX);

    const struct
    {
        const char* name;
        bool value;
    } flags[] = {{"isMac", true}, {"isWin", false}, {"isVST", false}, {"isAU", true}};
    for (const auto& f : flags)
    {
        lua_pushboolean(L, f.value);
        lua_setglobal(L, f.name);
    }
    const struct
    {
        const char* name;
        lua_Number value;
    } numbers[] = {{"majorVersion", Tarn::kVersionMajor},
                   {"minorVersion", Tarn::kVersionMinor},
                   {"dotVersion", Tarn::kVersionPatch},
                   {"version", Tarn::kVersionDecimal}};
    for (const auto& n : numbers)
    {
        lua_pushnumber(L, n.value);
        lua_setglobal(L, n.name);
    }

    RunScripts();
    return m_L;
}

void LuaMIDIHelper::RunScripts()
{
    lua_State* L = m_L;
    const char* product = nullptr;
    std::uint32_t size = sizeof product;
    if (m_instance->DispatchGetProperty(kPropertySecondaryAppSupportName, Scope::Global, 0,
                                        &product, &size) != kNoErr ||
        !product)
        product = "";
    std::vector<std::string> scripts;
    Tarn::GetScripts(scripts, product);

    bool userDefault = false;
    for (const std::string& path : scripts)
        userDefault = userDefault || BeginsWithMidiLua(path);
    if (!userDefault)
    {
        FileLoader loader("midi.lua");
        if (loader.GetData())
        {
            // Top-level code runs under the same guard as every later call.
            if (luaL_loadbuffer(L, static_cast<const char*>(loader.GetData()), loader.GetSize(),
                                "midi.lua") != 0 ||
                protectedPcall(0) != 0)
            {
                LuaError(L, "failed to run buffer: %s\n", ErrorText(L));
                lua_pop(L, 1);
            }
        }
    }
    for (const std::string& path : scripts)
    {
        if (LoadScriptFile(L, path) != 0 || protectedPcall(0) != 0)
        {
            LuaError(L, "failed to run file: %s\n", ErrorText(L));
            lua_pop(L, 1);
        }
    }
    lua_settop(L, 0);
}

void LuaMIDIHelper::LuaShutdown()
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    if (!m_L)
        return;
    {
        // The registry references die with the interpreter.
        std::lock_guard<std::mutex> timers(m_timerLock);
        for (const auto& t : m_timers)
            MainLoop::Get().RemoveTimer(t.first);
        m_timers.clear();
    }
    for (HandlerList* list :
         {&m_allNoteOn, &m_allNoteOff, &m_allCC, &m_allNRPN, &m_allProgramChange,
          &m_allPolyPressure, &m_pitchWheel, &m_channelPressure})
        list->clear();
    for (HandlerTable* table :
         {&m_noteOn, &m_noteOff, &m_cc, &m_nrpn, &m_programChange, &m_polyPressure})
        table->clear();
    m_guard.Close();
    m_L = nullptr;
}

int LuaMIDIHelper::protectedPcall(int nargs, int nresults)
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    if (!m_L)
        return LUA_ERRRUN;
    return m_guard.ProtectedCall(nargs, nresults);
}

int LuaMIDIHelper::Print(lua_State* L)
{
    LuaMIDIHelper* self = getRefCon(L);
    const bool ring = self && self->m_renderThreadHolds;
    char line[LogRing::kLineBytes];
    std::size_t used = 0;
    const int n = lua_gettop(L);
    lua_getglobal(L, "tostring");
    for (int i = 1; i <= n; ++i)
    {
        lua_pushvalue(L, -1);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        std::size_t length = 0;
        const char* text = lua_tolstring(L, -1, &length);
        if (!text)
            return luaL_error(L, LUA_QL("tostring") " must return a string to " LUA_QL("print"));
        if (!ring)
        {
            if (i > 1)
                std::fputc('\t', stdout);
            std::fwrite(text, 1, length, stdout);
        }
        else
        {
            // Cut to one ring line; the rest of a very long line is lost.
            if (i > 1 && used + 1 < sizeof line)
                line[used++] = '\t';
            const std::size_t take = std::min(length, sizeof line - 1 - used);
            std::memcpy(line + used, text, take);
            used += take;
        }
        lua_pop(L, 1);
    }
    if (!ring)
    {
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return 0;
    }
    line[used] = '\0';
    LogRing::Get().Write(line, LogRing::Stream::Output);
    return 0;
}

void LuaMIDIHelper::LuaError(lua_State*, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    LuaCallGuard::PrintError(format, args);
    va_end(args);
}

LuaMIDIHelper* LuaMIDIHelper::getRefCon(lua_State* L)
{
    // The allocator's user data, not the registry entry: script code can rewrite the registry.
    LuaCallGuard* guard = LuaCallGuard::From(L);
    return guard ? static_cast<LuaMIDIHelper*>(guard->Owner()) : nullptr;
}

int LuaMIDIHelper::getParam(lua_State* L, const char* name)
{
    const LuaMIDIHelper* self = getRefCon(L);
    return ParameterNameLookup::FindOrRaise(self ? &self->m_paramLookup : nullptr, L, name);
}

bool LuaMIDIHelper::HandleMidiEvent(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                                    std::uint8_t data2, std::uint32_t frame) noexcept
{
    return m_queue.Write(status, channel, data1, data2, frame);
}

bool LuaMIDIHelper::HandleSysEx(const std::uint8_t* bytes, std::uint32_t length)
{
    return m_queue.WriteSysEx(bytes, length);
}

bool LuaMIDIHelper::HandleRemoteMidiEvent(std::uint8_t status, std::uint8_t channel,
                                          std::uint8_t data1, std::uint8_t data2) noexcept
{
    return (m_remoteQueue ? *m_remoteQueue : m_queue).Write(status, channel, data1, data2, 0);
}

void LuaMIDIHelper::HandleMessageQueueItem(const MessageQueueItem* item)
{
    if (!item || item->m_kind != MessageQueueItem::kShortMessage)
        return;
    const int channel = item->m_channel;
    switch (item->m_status)
    {
    case 0x90:
        if (item->m_data2 != 0)
            HandleNoteOn(channel, item->m_data1, item->m_data2);
        else
            HandleNoteOff(channel, item->m_data1, item->m_data2);
        break;
    case 0x80:
        HandleNoteOff(channel, item->m_data1, item->m_data2);
        break;
    case 0xA0:
        HandlePolyPressure(channel, item->m_data1, item->m_data2);
        break;
    case 0xB0:
        HandleControlChange(channel, item->m_data1, item->m_data2);
        break;
    case 0xC0:
        HandleProgramChange(channel, item->m_data1);
        break;
    case 0xD0:
        HandleChannelPressure(channel, item->m_data1);
        break;
    case 0xE0:
        HandlePitchWheel(channel, item->m_data1, item->m_data2);
        break;
    default:
        break;
    }
}

bool LuaMIDIHelper::isParameterUsed(int)
{
    return true;
}

void LuaMIDIHelper::CallHandlers(const HandlerList& list, int nargs, int a, int b, int c)
{
    lua_State* L = m_L;
    if (!L)
        return;
    // By position, re-reading the length: a handler may append to this very list.
    for (std::size_t i = 0; i < list.size(); ++i)
    {
        const int top = lua_gettop(L);
        if (!lua_checkstack(L, 4))
            return;
        lua_rawgeti(L, LUA_REGISTRYINDEX, list[i]);
        lua_pushinteger(L, a);
        lua_pushinteger(L, b);
        if (nargs > 2)
            lua_pushinteger(L, c);
        protectedPcall(nargs);
        lua_settop(L, top); // a failed handler's error is discarded here
    }
}

void LuaMIDIHelper::CallHandlers(const HandlerTable& table, int key, int nargs, int a, int b, int c)
{
    const auto it = table.find(key);
    if (it != table.end())
        CallHandlers(it->second, nargs, a, b, c);
}

void LuaMIDIHelper::HandleNoteOn(int channel, unsigned char note, unsigned char velocity)
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    CallHandlers(m_allNoteOn, 3, channel + 1, note, velocity);
    CallHandlers(m_noteOn, note, 3, channel + 1, note, velocity);
}

void LuaMIDIHelper::HandleNoteOff(int channel, unsigned char note, unsigned char velocity)
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    CallHandlers(m_allNoteOff, 3, channel + 1, note, velocity);
    CallHandlers(m_noteOff, note, 3, channel + 1, note, velocity);
}

void LuaMIDIHelper::HandlePolyPressure(int channel, unsigned char note, unsigned char pressure)
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    CallHandlers(m_allPolyPressure, 3, channel + 1, note, pressure);
    CallHandlers(m_polyPressure, note, 3, channel + 1, note, pressure);
}

void LuaMIDIHelper::HandleControlChange(int channel, unsigned char controller, unsigned char value)
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    switch (controller)
    {
    case 99:
        m_nrpnMSB = value;
        break;
    case 98:
        m_nrpnLSB = value;
        break;
    case 6:
        m_dataMSB = value;
        break;
    case 38:
        m_dataLSB = value;
        break;
    default:
        break;
    }
    if (controller == 6 || controller == 38)
    {
        // Every data-entry controller yields one NRPN, with the other data byte as last seen.
        const int number = m_nrpnMSB * 128 + m_nrpnLSB;
        const int data = m_dataMSB * 128 + m_dataLSB;
        CallHandlers(m_allNRPN, 3, channel + 1, number, data);
        CallHandlers(m_nrpn, number, 3, channel + 1, number, data);
    }
    CallHandlers(m_allCC, 3, channel + 1, controller, value);
    CallHandlers(m_cc, controller, 3, channel + 1, controller, value);
}

void LuaMIDIHelper::HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb)
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    CallHandlers(m_pitchWheel, 2, channel + 1, msb * 128 + lsb, 0);
}

void LuaMIDIHelper::HandleProgramChange(int channel, unsigned char program)
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    CallHandlers(m_allProgramChange, 2, channel + 1, program, 0);
    CallHandlers(m_programChange, program, 2, channel + 1, program, 0);
}

void LuaMIDIHelper::HandleChannelPressure(int channel, unsigned char pressure)
{
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    CallHandlers(m_channelPressure, 2, channel + 1, pressure, 0);
}

TimerHandle LuaMIDIHelper::RequestTimer(lua_State* L, double seconds, bool periodic)
{
    // The function is at the top of the stack. The timer lock spans installing and entering the
    // timer, and a timer call needs the script lock (held by our caller) before it looks the
    // timer up, so even a timer due at once finds its entry.
    const int ref = luaL_ref(L, LUA_REGISTRYINDEX);
    std::lock_guard<std::mutex> lock(m_timerLock);
    const TimerHandle timer = MainLoop::Get().InstallTimer(
        seconds, periodic ? seconds : 0.0, periodic ? PeriodicTimerProc : OneShotTimerProc, this);
    m_timers[timer] = ref;
    return timer;
}

bool LuaMIDIHelper::CancelTimer(lua_State* L, TimerHandle timer)
{
    int ref = LUA_NOREF;
    {
        std::lock_guard<std::mutex> lock(m_timerLock);
        const auto it = m_timers.find(timer);
        if (it == m_timers.end())
            return false;
        MainLoop::Get().RemoveTimer(timer);
        ref = it->second;
        m_timers.erase(it);
    }
    // A cancelled timer is never called again: its function need not be kept.
    luaL_unref(L, LUA_REGISTRYINDEX, ref);
    return true;
}

void LuaMIDIHelper::OneShotTimerProc(TimerHandle timer, void* userData)
{
    static_cast<LuaMIDIHelper*>(userData)->TimerProc(timer, false);
}

void LuaMIDIHelper::PeriodicTimerProc(TimerHandle timer, void* userData)
{
    static_cast<LuaMIDIHelper*>(userData)->TimerProc(timer, true);
}

void LuaMIDIHelper::TimerProc(TimerHandle timer, bool periodic)
{
    // Main-loop thread. The script lock comes first so that a timer cancelled by a script is
    // never called after cancelTimer has returned.
    std::lock_guard<std::recursive_mutex> lock(m_scriptLock);
    int ref = LUA_NOREF;
    {
        std::lock_guard<std::mutex> timers(m_timerLock);
        const auto it = m_timers.find(timer);
        if (it == m_timers.end())
            return;
        ref = it->second;
        if (!periodic)
        {
            MainLoop::Get().RemoveTimer(timer);
            m_timers.erase(it);
        }
    }
    if (ref < 0 || !m_L)
        return;
    const int top = lua_gettop(m_L);
    lua_rawgeti(m_L, LUA_REGISTRYINDEX, ref);
    protectedPcall(0);
    lua_settop(m_L, top); // errors of timer functions are discarded
    // A one-shot timer never runs again: release its function rather than keep it for the
    // interpreter's life.
    if (!periodic)
        luaL_unref(m_L, LUA_REGISTRYINDEX, ref);
}

void LuaMIDIHelper::CancelAllTimers()
{
    {
        std::lock_guard<std::mutex> lock(m_timerLock);
        m_timers.clear();
    }
    // Also waits for a call in progress, whose entry may already be gone (a one-shot timer).
    MainLoop::Get().RemoveTimers(this);
}

} // namespace TW
