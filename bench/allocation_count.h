// Counts the heap allocations of the whole process (every library included), so that a benchmark
// can report how many allocations one packet costs and how many bytes a parsed tree keeps.
#pragma once

#include <cstddef>

struct AllocationCount {
  std::size_t calls;      // malloc, calloc, realloc and aligned allocations so far
  std::size_t liveBytes;  // usable bytes of the blocks not yet freed
};

AllocationCount CurrentAllocations() noexcept;
