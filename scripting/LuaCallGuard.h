// The guard around every call into a Lua interpreter that runs user-supplied code (the MIDI
// scripts of an instance, the skin script of an editor). It owns the interpreter's memory and its
// count hook.
//
// Runaway code. ProtectedCall gives the call a budget of kInstructionBudget virtual-machine
// instructions and kTimeBudgetSeconds of the calling thread's processor time (a monotonic clock
// that other threads' and processes' use of the processor does not advance), both checked from a
// count hook every kHookInterval instructions. A call that runs past either is aborted with the
// script error kRunawayMessage; until control returns to the host the interpreter keeps raising
// that error at every instruction, so a script's own pcall cannot hold on to it. The hook cannot
// be removed or replaced from script code: debug.sethook raises an error (the hook is the only
// thing it could change), every coroutine inherits the hook, and the hook finds its guard through
// the allocator's user data, which script code cannot reach (the registry, which
// debug.getregistry exposes, is not trusted). Native code loaded by a script (package.loadlib, C
// modules through require) runs outside any guard.
//
// Memory. The interpreter allocates only from the guard's own ScriptArena, reserved when the guard
// is made, so script work never reaches the system allocator. Script code may hold at most the
// memory limit (bookkeeping included); past that an allocation fails and the script gets Lua's
// "not enough memory" error. The arena keeps a reserve beyond it for the host's own pushes
// between calls, so those never fail for want of memory. Lua finalizers (newproxy) are not
// offered: they would run script code outside any guarded call.
//
// Not thread-safe: the owner serialises every use of the interpreter (the MIDI host holds its
// script lock; the skin runs on the host UI thread only).
#pragma once

#include "ScriptArena.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

struct lua_State;
struct lua_Debug;

namespace TW
{

class LuaCallGuard
{
public:
    // Instructions one call may run before it is aborted: far beyond any sane handler (a few
    // tenths of a second of pure script work).
    static constexpr long kInstructionBudget = 50'000'000;
    // Time one call may run before it is aborted (seconds of the thread's processor time).
    static constexpr double kTimeBudgetSeconds = 0.5;
    // Instructions between two checks of the budgets.
    static constexpr int kHookInterval = 10'000;
    // The script error of an aborted call.
    static const char kRunawayMessage[];

    // Any thread. owner is handed back by Owner(); scriptKind names the code in the refusal of
    // debug.sethook ("MIDI scripts"). Reserves memoryLimit + hostReserve bytes of address space.
    LuaCallGuard(void* owner, const char* scriptKind, std::size_t memoryLimit,
                 std::size_t hostReserve);
    ~LuaCallGuard();

    LuaCallGuard(const LuaCallGuard&) = delete;
    LuaCallGuard& operator=(const LuaCallGuard&) = delete;

    // A new interpreter over the guard's memory with the hook installed and the standard
    // libraries opened and locked down (debug.sethook refused, newproxy removed); null when it
    // cannot be made. The guard keeps it as State() until Close.
    lua_State* NewState();
    // Closes the interpreter, if any.
    void Close();
    lua_State* State() const noexcept { return m_L; }

    // Calls the function below nargs arguments on top of the stack, without a message handler,
    // under the budgets (nested calls share the outermost call's budget). Returns the
    // interpreter's status; on failure the error value is left on the stack, on success nresults
    // results.
    int ProtectedCall(int nargs, int nresults = 0);

    // Prints "@@@ " and the formatted message on standard output, as every script and skin error
    // is reported. The thread running the script.
    static void PrintError(const char* format, va_list args);

    // The guard of the interpreter L (any of its threads), null for an interpreter not made here.
    static LuaCallGuard* From(lua_State* L);
    void* Owner() const noexcept { return m_owner; }

    // Bytes the interpreter holds now (bookkeeping included).
    std::size_t MemoryInUse() const noexcept { return m_arena.Used(); }

private:
    static void CountHook(lua_State* L, lua_Debug* ar);
    static void* Allocate(void* ud, void* ptr, std::size_t osize, std::size_t nsize);
    static int RefuseSetHook(lua_State* L);

    void* m_owner;
    std::string m_setHookRefusal;
    std::size_t m_memoryLimit;
    ScriptArena m_arena;
    lua_State* m_L = nullptr;

    // The budgets of the outermost ProtectedCall.
    int m_depth = 0;
    long m_used = 0;
    std::int64_t m_deadline = 0; // nanoseconds of the thread's processor-time clock
    bool m_aborting = false;
    bool m_memoryRefused = false; // an allocation was refused during the current call
    bool m_overtime = false;      // the allocator saw the time budget run out
    unsigned m_allocations = 0;   // allocations counted to space out clock reads
};

} // namespace TW
