// Which instruction set renders the voices. The best one the processor has is chosen once; tests
// and benchmarks may force another.
#pragma once

#include "VoiceKernel.h"

namespace Tarn
{

enum class EnginePath
{
    Scalar, // the plain reference loop
    Sse2,   // four-lane vectors, every x86-64 processor
    Avx2,   // eight-lane vectors with fused multiply-add
    Avx512, // sixteen-lane vectors with fused multiply-add
};

// The path the processor supports best, or the one named by the environment variable
// VELLUNA_ENGINE_PATH ("scalar", "sse2", "avx2", "avx512") when the processor supports it. Decided
// on the first call. Any thread.
EnginePath DefaultEnginePath() noexcept;

bool IsEnginePathSupported(EnginePath path) noexcept;
const char* EnginePathName(EnginePath path) noexcept;
// The voice loop of a path and how many notes it renders side by side.
struct VoiceKernelInfo
{
    VoiceKernel render;
    int width;
};
VoiceKernelInfo KernelForPath(EnginePath path) noexcept;

} // namespace Tarn
