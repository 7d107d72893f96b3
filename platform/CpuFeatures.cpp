#include "CpuFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace TW
{

bool HasVectorUnit() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    const bool sse2 = (edx & bit_SSE2) != 0;
    const bool sse3 = (ecx & bit_SSE3) != 0;
    return sse2 && sse3;
#else
    return false;
#endif
}

bool HasAvx2Fma() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

bool HasAvx512() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return HasAvx2Fma() && __builtin_cpu_supports("avx512f");
#else
    return false;
#endif
}

} // namespace TW
