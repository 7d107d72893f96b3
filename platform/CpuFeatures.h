// Processor feature detection.
#pragma once

namespace TW
{

// True when the processor has the vector unit the engine needs (SSE2 and SSE3). Any thread.
bool HasVectorUnit() noexcept;
bool HasAvx2Fma() noexcept;

} // namespace TW
