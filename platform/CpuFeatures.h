// Processor feature detection.
#pragma once

namespace TW
{

// True when the processor has the vector unit the engine needs (SSE2 and SSE3). Any thread.
bool HasVectorUnit() noexcept;
bool HasAvx2Fma() noexcept;
// AVX-512 Foundation with AVX2 and FMA, and an operating system that saves the 512-bit state.
bool HasAvx512() noexcept;

} // namespace TW
