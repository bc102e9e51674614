// A test hook of the runtime, for allocation-failure tests only: it makes one chosen platform
// allocation (a BSTR or a DOM node) fail, and counts the BSTRs and DOM nodes alive, so that a
// test can walk every out-of-memory path of a scenario and see that nothing is left behind.
// Hosts and the module never call it; it is exported only so that test binaries can.
#pragma once

#include <platform/export.h>

#include <atomic>

extern "C" {

// Makes the `ordinal`-th platform allocation from now on fail (1: the next one) and starts
// counting allocations again; 0 lets every allocation succeed. Only that one fails.
PLATFORM_API void QuenloProbeFailAllocation(long ordinal);
// Platform allocations asked for since the last QuenloProbeFailAllocation, the failed one included;
// counted only while a failure is armed (an ordinal above 0).
PLATFORM_API long QuenloProbeAllocationsSeen();
PLATFORM_API long QuenloProbeLiveBstrs();
PLATFORM_API long QuenloProbeLiveDomNodes();

}  // extern "C"

namespace quenlo::platform::probe {

// The allocation to fail, counted from when it was armed; 0 when none is.
extern std::atomic<long> failingOrdinal;
// Counts an allocation while a failure is armed; false for the one to fail.
bool CountArmedAllocation() noexcept;

// Asked by the runtime before each BSTR or DOM node allocation; false means fail it. Unarmed,
// as in production, it costs one plain load, inline: a parse asks it for every node.
inline bool AllocationMayProceed() noexcept {
  return failingOrdinal.load(std::memory_order_relaxed) == 0 || CountArmedAllocation();
}
void NoteBstrs(long change) noexcept;
void NoteDomNodes(long change) noexcept;

}  // namespace quenlo::platform::probe
