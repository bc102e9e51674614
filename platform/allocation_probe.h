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
// The live counts of one thread. A thread changes its own with plain stores; asking adds up every
// thread's counts and those of threads that have ended.
struct LiveCounts {
  std::atomic<long> bstrs{0};
  std::atomic<long> domNodes{0};
  LiveCounts* next = nullptr;
  LiveCounts* previous = nullptr;
};

// This thread's counts; null until its first note and again once the thread has ended, when
// NoteOnSlowPath decides. Reached in one load (initial-exec), as small_blocks reaches its shelves.
[[gnu::tls_model("initial-exec")]] extern constinit thread_local LiveCounts* threadCounts;
void NoteOnSlowPath(std::atomic<long> LiveCounts::*member, long change) noexcept;

// Every BSTR and every DOM node made or freed is noted: inline, since a call costs more than the
// note itself, on every string a reply or request makes.
inline void Note(std::atomic<long> LiveCounts::*member, long change) noexcept {
  if (LiveCounts* counts = threadCounts) {
    std::atomic<long>& count = counts->*member;
    count.store(count.load(std::memory_order_relaxed) + change, std::memory_order_relaxed);
  } else {
    NoteOnSlowPath(member, change);
  }
}
inline void NoteBstrs(long change) noexcept { Note(&LiveCounts::bstrs, change); }
inline void NoteDomNodes(long change) noexcept { Note(&LiveCounts::domNodes, change); }

}  // namespace quenlo::platform::probe
