// Counts calls to the global allocator (plain and aligned operator new, and C's malloc, calloc
// and realloc) while counting is on. Linking this file replaces the program's global operator
// new and delete and interposes the C allocator.
#pragma once

namespace TarnTest
{

// Turns counting on for the calling thread alone and resets the count. Any thread.
void StartCountingAllocations() noexcept;
// Turns counting on for the global operator new alone, on every thread, and resets the count:
// for code on threads the test does not own, beside drivers that call malloc by design (the
// software GL driver's command buffers). Any thread.
void StartCountingOperatorNew() noexcept;
// Turns counting off and returns the number of allocations since the start.
long StopCountingAllocations() noexcept;

} // namespace TarnTest
