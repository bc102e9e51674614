#include "allocation_probe.h"

#include <atomic>

namespace {

std::atomic<long> allocationsSeen{0};
std::atomic<long> liveBstrs{0};
std::atomic<long> liveDomNodes{0};

}  // namespace

extern "C" {

void QuenloProbeFailAllocation(long ordinal) {
  allocationsSeen.store(0);
  quenlo::platform::probe::failingOrdinal.store(ordinal);
}

long QuenloProbeAllocationsSeen() { return allocationsSeen.load(); }
long QuenloProbeLiveBstrs() { return liveBstrs.load(); }
long QuenloProbeLiveDomNodes() { return liveDomNodes.load(); }

}  // extern "C"

namespace quenlo::platform::probe {

std::atomic<long> failingOrdinal{0};

bool CountArmedAllocation() noexcept {
  const long failing = failingOrdinal.load(std::memory_order_relaxed);
  if (failing == 0) return true;  // disarmed since the caller looked
  const long seen = allocationsSeen.fetch_add(1, std::memory_order_relaxed) + 1;
  return seen != failing;
}

void NoteBstrs(long change) noexcept { liveBstrs.fetch_add(change, std::memory_order_relaxed); }
void NoteDomNodes(long change) noexcept {
  liveDomNodes.fetch_add(change, std::memory_order_relaxed);
}

}  // namespace quenlo::platform::probe
