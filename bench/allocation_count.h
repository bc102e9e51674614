// Counts the heap allocations of the whole process (every library included), so that a benchmark
// can report how many allocations one packet costs and how many bytes a parsed tree keeps.
#pragma once

#include <cstddef>

struct AllocationCount {
  std::size_t calls;      // malloc, calloc, realloc and aligned allocations so far
  std::size_t liveBytes;  // usable bytes of the blocks not yet freed, while bytes are counted
};

AllocationCount CurrentAllocations() noexcept;

// Counting bytes asks the allocator for each block's size on every call, which would weigh on
// the timed runs: it is on only while a memory figure is taken (no block may be freed across
// the switch that was allocated on its other side).
void CountAllocatedBytes(bool on) noexcept;
