// Heap allocation counter for the benchmarks that count allocations. Linking
// AllocCounter.cpp into a program replaces malloc, calloc, realloc, free and
// the global operator new/delete of the whole process (shared libraries
// included), so it must be built into the executable itself, never into a
// shared library. The counter is process-wide and may be read from any thread.
#pragma once

#include <cstdint>

// Allocations (malloc, calloc, realloc, operator new) since the program started.
uint64_t allocationCount();
