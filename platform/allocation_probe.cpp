#include "allocation_probe.h"

#include <atomic>

namespace {

std::atomic<long> failingOrdinal{0};
std::atomic<long> allocationsSeen{0};
std::atomic<long> liveBstrs{0};
std::atomic<long> liveDomNodes{0};

}  // namespace

extern "C" {

void QuenloProbeFailAllocation(long ordinal) {
  allocationsSeen.store(0);
  failingOrdinal.store(ordinal);
}

long QuenloProbeAllocationsSeen() { return allocationsSeen.load(); }
long QuenloProbeLiveBstrs() { return liveBstrs.load(); }
long QuenloProbeLiveDomNodes() { return liveDomNodes.load(); }

}  // extern "C"

namespace quenlo::platform::probe {

// Asked for every node and string, in production too: unarmed, it costs one plain load rather
// than a locked increment of a counter that every thread's allocations would share.
bool AllocationMayProceed() noexcept {
  const long failing = failingOrdinal.load(std::memory_order_relaxed);
  if (failing == 0) return true;
  const long seen = allocationsSeen.fetch_add(1, std::memory_order_relaxed) + 1;
  return seen != failing;
}

void NoteBstrs(long change) noexcept { liveBstrs.fetch_add(change, std::memory_order_relaxed); }
void NoteDomNodes(long change) noexcept {
  liveDomNodes.fetch_add(change, std::memory_order_relaxed);
}

}  // namespace quenlo::platform::probe
