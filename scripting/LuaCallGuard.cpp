#include "LuaCallGuard.h"

#include <lua.hpp>

#include <cstdio>
#include <ctime>

namespace TW
{

const char LuaCallGuard::kRunawayMessage[] =
    "script call aborted: it ran past its instruction or time budget";

namespace
{

// The clock of the time budget: processor time of the calling thread, a monotonic clock that
// counts the script's own work and not the time other threads or processes held the processor.
std::int64_t CallClockNanoseconds() noexcept
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

} // namespace

LuaCallGuard::LuaCallGuard(void* owner, const char* scriptKind, std::size_t memoryLimit,
                           std::size_t hostReserve)
    : m_owner(owner), m_setHookRefusal(std::string("debug.sethook() is not available to ") +
                                       scriptKind + ": the hook belongs to the script guard"),
      m_memoryLimit(memoryLimit), m_arena(memoryLimit + hostReserve)
{
}

LuaCallGuard::~LuaCallGuard()
{
    Close();
}

lua_State* LuaCallGuard::NewState()
{
    if (m_L)
        return m_L;
    lua_State* L = lua_newstate(Allocate, this);
    if (!L)
        return nullptr;
    // Installed before any script runs, so every coroutine inherits it; it only counts while a
    // ProtectedCall is in progress.
    lua_sethook(L, CountHook, LUA_MASKCOUNT, kHookInterval);
    m_L = L;
    luaL_openlibs(L);
    lua_getglobal(L, "debug");
    if (lua_istable(L, -1))
    {
        lua_pushcfunction(L, RefuseSetHook);
        lua_setfield(L, -2, "sethook");
    }
    lua_pop(L, 1);
    lua_pushnil(L);
    lua_setglobal(L, "newproxy");
    return L;
}

void LuaCallGuard::Close()
{
    if (!m_L)
        return;
    lua_close(m_L);
    m_L = nullptr;
    m_depth = 0;
}

void LuaCallGuard::PrintError(const char* format, va_list args)
{
    std::fputs("@@@ ", stdout);
    std::vprintf(format, args);
    std::fflush(stdout);
}

LuaCallGuard* LuaCallGuard::From(lua_State* L)
{
    void* ud = nullptr;
    if (lua_getallocf(L, &ud) != Allocate)
        return nullptr;
    return static_cast<LuaCallGuard*>(ud);
}

// The interpreter's allocator, over the guard's arena. Script code (inside a guarded call) may
// not grow past the memory limit; the host's pushes between calls may use the reserve.
void* LuaCallGuard::Allocate(void* ud, void* ptr, std::size_t osize, std::size_t nsize)
{
    auto* self = static_cast<LuaCallGuard*>(ud);
    if (nsize == 0)
    {
        self->m_arena.Free(ptr);
        return nullptr;
    }
    const std::size_t held = ptr ? osize : 0;
    if (self->m_depth > 0 && !self->m_overtime && (++self->m_allocations & 63) == 0 &&
        CallClockNanoseconds() >= self->m_deadline)
    {
        // A library function doing much work per instruction (string.rep, table.concat...)
        // allocates as it goes: past the time budget it gets no more memory, and the main
        // thread's hook fires at its next instruction to abort the call.
        self->m_overtime = true;
        lua_sethook(self->m_L, CountHook, LUA_MASKCOUNT, 1);
    }
    if (nsize > held && self->m_depth > 0 &&
        ((self->m_overtime && !self->m_aborting) ||
         self->m_arena.Used() + (nsize - held) > self->m_memoryLimit))
    {
        self->m_memoryRefused = true;
        return nullptr;
    }
    void* block = self->m_arena.Reallocate(ptr, nsize);
    if (!block)
        self->m_memoryRefused = true;
    return block;
}

int LuaCallGuard::ProtectedCall(int nargs, int nresults)
{
    if (!m_L)
        return LUA_ERRRUN;
    if (++m_depth == 1)
    {
        m_used = 0;
        m_deadline = CallClockNanoseconds() + static_cast<std::int64_t>(kTimeBudgetSeconds * 1e9);
        m_aborting = false;
        m_overtime = false;
    }
    int status = lua_pcall(m_L, nargs, nresults, 0);
    if (--m_depth == 0)
    {
        m_used = 0;
        if (m_overtime && status == LUA_ERRMEM)
        {
            // The memory was refused because the time was up: say so.
            lua_pop(m_L, 1);
            lua_pushstring(m_L, kRunawayMessage);
            status = LUA_ERRRUN;
        }
        if (m_overtime || m_aborting)
            m_memoryRefused = true; // an aborted call leaves its garbage: collect it below
        if (m_overtime && !m_aborting)
            lua_sethook(m_L, CountHook, LUA_MASKCOUNT, kHookInterval);
        m_overtime = false;
        if (m_aborting)
        {
            m_aborting = false;
            lua_sethook(m_L, CountHook, LUA_MASKCOUNT, kHookInterval);
        }
        if (m_memoryRefused)
        {
            // The interpreter does not collect when an allocation fails: what the failed call
            // left behind is garbage it would otherwise keep counting against the limit.
            m_memoryRefused = false;
            lua_gc(m_L, LUA_GCCOLLECT, 0);
        }
    }
    return status;
}

void LuaCallGuard::CountHook(lua_State* L, lua_Debug*)
{
    void* ud = nullptr;
    lua_getallocf(L, &ud);
    auto* self = static_cast<LuaCallGuard*>(ud);
    if (!self->m_aborting)
    {
        // A coroutine left raising by an earlier abort goes back to the normal interval.
        if (lua_gethookcount(L) != kHookInterval)
            lua_sethook(L, CountHook, LUA_MASKCOUNT, kHookInterval);
        if (self->m_depth == 0)
            return;
        self->m_used += kHookInterval;
        if (self->m_used < kInstructionBudget && CallClockNanoseconds() < self->m_deadline)
            return;
        self->m_aborting = true;
    }
    // Raise at every instruction from now on, in this coroutine and in the main one, so the
    // error reaches the host even through the script's own pcall.
    lua_sethook(L, CountHook, LUA_MASKCOUNT, 1);
    if (L != self->m_L)
        lua_sethook(self->m_L, CountHook, LUA_MASKCOUNT, 1);
    // Level 0: inside a hook, the function that was running when the count ran out.
    luaL_where(L, 0);
    lua_pushstring(L, kRunawayMessage);
    lua_concat(L, 2);
    lua_error(L);
}

int LuaCallGuard::RefuseSetHook(lua_State* L)
{
    LuaCallGuard* self = From(L);
    return luaL_error(L, "%s", self ? self->m_setHookRefusal.c_str() : "debug.sethook()");
}

} // namespace TW
