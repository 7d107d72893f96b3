#include "AllocationCounter.h"

#include <dlfcn.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

// A sanitizer brings its own allocator, which must stay the one definition of malloc: there the
// counter listens to the sanitizer's allocation hook instead of replacing the C allocator.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELLUNA_COUNT_BY_SANITIZER_HOOK 1
// The sanitizer runtimes' C interface (GCC ships no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void*, std::size_t),
    void (*free_hook)(const volatile void*));
#else
#define VELLUNA_COUNT_BY_SANITIZER_HOOK 0
#endif

// The replacement operators below pair malloc with free; GCC sees only the new/free pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace
{

enum class Mode
{
    kOff,
    kCallingThread, // every allocator, the thread that started counting alone
    kOperatorNew    // operator new alone, on every thread
};

std::atomic<Mode> g_mode{Mode::kOff};
std::atomic<pthread_t> g_countedThread{};
std::atomic<long> g_allocations{0};

// Only the thread that started counting is counted: the instance's own service threads (OSC
// tasks, the log printer, the main loop) may allocate while it renders.
bool Counting() noexcept
{
    return g_mode.load(std::memory_order_relaxed) == Mode::kCallingThread &&
           pthread_equal(g_countedThread.load(std::memory_order_relaxed), pthread_self());
}

void Count()
{
    if (Counting())
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}

// In the calling-thread mode plain blocks are counted by malloc below (or by the sanitizer's
// hook, which sees every block), aligned ones here, since aligned_alloc is not replaced.
void* AllocateNoThrow(std::size_t size, std::size_t alignment) noexcept
{
    if (g_mode.load(std::memory_order_relaxed) == Mode::kOperatorNew ||
        (!VELLUNA_COUNT_BY_SANITIZER_HOOK && alignment > alignof(std::max_align_t) && Counting()))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    size = size ? size : 1;
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(size)
                  : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    return p;
}

void* Allocate(std::size_t size, std::size_t alignment)
{
    void* p = AllocateNoThrow(size, alignment);
    if (!p)
        throw std::bad_alloc();
    return p;
}

} // namespace

namespace TarnTest
{

void StartCountingAllocations() noexcept
{
    g_allocations.store(0, std::memory_order_relaxed);
    g_countedThread.store(pthread_self(), std::memory_order_relaxed);
    g_mode.store(Mode::kCallingThread, std::memory_order_relaxed);
}

void StartCountingOperatorNew() noexcept
{
    g_allocations.store(0, std::memory_order_relaxed);
    g_mode.store(Mode::kOperatorNew, std::memory_order_relaxed);
}

long StopCountingAllocations() noexcept
{
    g_mode.store(Mode::kOff, std::memory_order_relaxed);
    return g_allocations.load(std::memory_order_relaxed);
}

} // namespace TarnTest

#if VELLUNA_COUNT_BY_SANITIZER_HOOK
namespace
{

void CountHook(const volatile void*, std::size_t)
{
    Count();
}

void FreeHook(const volatile void*) {}

// Installed before main, so every allocation of the test goes past it.
[[maybe_unused]] const int g_hookInstalled =
    __sanitizer_install_malloc_and_free_hooks(CountHook, FreeHook);

} // namespace
#else
// The C allocator is counted too (libraries such as the interpreter call it directly): these
// definitions come first in symbol lookup and pass each call on to the next definition (the C
// library's, or a sanitizer's). dlsym may itself allocate while the next definitions are being
// looked up: a small static buffer serves that, and its blocks are never freed.
namespace
{

using MallocFn = void* (*)(std::size_t);
using CallocFn = void* (*)(std::size_t, std::size_t);
using ReallocFn = void* (*)(void*, std::size_t);
using FreeFn = void (*)(void*);

MallocFn g_malloc = nullptr;
CallocFn g_calloc = nullptr;
ReallocFn g_realloc = nullptr;
FreeFn g_free = nullptr;
bool g_resolving = false;

alignas(std::max_align_t) unsigned char g_bootstrap[8192];
std::size_t g_bootstrapUsed = 0;

bool IsBootstrap(const void* p)
{
    const auto* c = static_cast<const unsigned char*>(p);
    return c >= g_bootstrap && c < g_bootstrap + sizeof g_bootstrap;
}

void* Bootstrap(std::size_t bytes)
{
    bytes = (bytes + 15) / 16 * 16;
    if (g_bootstrapUsed + bytes > sizeof g_bootstrap)
        return nullptr;
    void* p = g_bootstrap + g_bootstrapUsed;
    g_bootstrapUsed += bytes;
    return p; // static storage starts zeroed
}

// False while the lookup itself is running (the caller then uses the bootstrap buffer).
bool Resolve()
{
    if (g_free)
        return true;
    if (g_resolving)
        return false;
    g_resolving = true;
    g_malloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
    g_calloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
    g_realloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_NEXT, "realloc"));
    g_free = reinterpret_cast<FreeFn>(dlsym(RTLD_NEXT, "free"));
    g_resolving = false;
    return true;
}


} // namespace

extern "C" void* malloc(std::size_t size)
{
    if (!Resolve())
        return Bootstrap(size);
    Count();
    return g_malloc(size);
}

extern "C" void* calloc(std::size_t count, std::size_t size)
{
    if (!Resolve())
        return Bootstrap(count * size);
    Count();
    return g_calloc(count, size);
}

extern "C" void* realloc(void* ptr, std::size_t size)
{
    if (!Resolve())
        return nullptr;
    Count();
    if (IsBootstrap(ptr))
    {
        void* moved = g_malloc(size);
        if (moved)
            std::memcpy(moved, ptr,
                        std::min<std::size_t>(size, g_bootstrap + sizeof g_bootstrap -
                                                        static_cast<unsigned char*>(ptr)));
        return moved;
    }
    return g_realloc(ptr, size);
}

extern "C" void free(void* ptr)
{
    if (!ptr || IsBootstrap(ptr) || !Resolve())
        return;
    g_free(ptr);
}
#endif

void* operator new(std::size_t size)
{
    return Allocate(size, 0);
}
void* operator new[](std::size_t size)
{
    return Allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a)
{
    return Allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a)
{
    return Allocate(size, static_cast<std::size_t>(a));
}
// The nothrow forms too: a block from the runtime's own nothrow operator new must never reach the
// free below (a sanitizer reports the mismatch).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return AllocateNoThrow(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return AllocateNoThrow(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return AllocateNoThrow(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return AllocateNoThrow(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(p);
}
