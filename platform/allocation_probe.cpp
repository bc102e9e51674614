#include "allocation_probe.h"

#include <atomic>
#include <mutex>
#include <new>
#include <utility>

namespace {

using quenlo::platform::probe::LiveCounts;
using quenlo::platform::probe::threadCounts;

std::atomic<long> allocationsSeen{0};

class Registry {
 public:
  void Join(LiveCounts& counts) {
    const std::lock_guard lock(mutex_);
    counts.next = first_;
    if (first_ != nullptr) first_->previous = &counts;
    first_ = &counts;
  }

  void Leave(LiveCounts& counts) {
    const std::lock_guard lock(mutex_);
    ended_.bstrs.fetch_add(counts.bstrs.load(std::memory_order_relaxed));
    ended_.domNodes.fetch_add(counts.domNodes.load(std::memory_order_relaxed));
    (counts.previous != nullptr ? counts.previous->next : first_) = counts.next;
    if (counts.next != nullptr) counts.next->previous = counts.previous;
  }

  // Where a thread notes once its own counts are gone (other thread-locals may still free).
  LiveCounts& Ended() noexcept { return ended_; }

  long Sum(std::atomic<long> LiveCounts::*member) {
    const std::lock_guard lock(mutex_);
    long sum = (ended_.*member).load();
    for (const LiveCounts* counts = first_; counts != nullptr; counts = counts->next) {
      sum += (counts->*member).load(std::memory_order_relaxed);
    }
    return sum;
  }

 private:
  std::mutex mutex_;
  LiveCounts* first_ = nullptr;
  LiveCounts ended_;
};

// Never destroyed: a thread may end, and leave, after the process's statics are gone.
Registry& TheRegistry() {
  static Registry* const registry = new Registry;
  return *registry;
}

// Set once this thread's counts are gone: other thread-locals may still free after that.
thread_local bool countsGone = false;

struct CountsOwner {
  ~CountsOwner() {
    if (LiveCounts* counts = std::exchange(threadCounts, nullptr)) {
      TheRegistry().Leave(*counts);
      delete counts;
    }
    countsGone = true;
  }
};
thread_local CountsOwner owner;

}  // namespace

extern "C" {

void QuenloProbeFailAllocation(long ordinal) {
  allocationsSeen.store(0);
  quenlo::platform::probe::failingOrdinal.store(ordinal);
}

long QuenloProbeAllocationsSeen() { return allocationsSeen.load(); }
long QuenloProbeLiveBstrs() { return TheRegistry().Sum(&LiveCounts::bstrs); }
long QuenloProbeLiveDomNodes() { return TheRegistry().Sum(&LiveCounts::domNodes); }

}  // extern "C"

namespace quenlo::platform::probe {

std::atomic<long> failingOrdinal{0};

bool CountArmedAllocation() noexcept {
  const long failing = failingOrdinal.load(std::memory_order_relaxed);
  if (failing == 0) return true;  // disarmed since the caller looked
  const long seen = allocationsSeen.fetch_add(1, std::memory_order_relaxed) + 1;
  return seen != failing;
}

[[gnu::tls_model("initial-exec")]] constinit thread_local LiveCounts* threadCounts = nullptr;

void NoteOnSlowPath(std::atomic<long> LiveCounts::*member, long change) noexcept {
  if (!countsGone) {
    static_cast<void>(&owner);  // made (and so destroyed at the thread's end) from here on
    if (auto* counts = new (std::nothrow) LiveCounts()) {
      TheRegistry().Join(*counts);
      threadCounts = counts;
      Note(member, change);
      return;
    }
    countsGone = true;  // without memory for counts of its own, the thread notes as if ended
  }
  (TheRegistry().Ended().*member).fetch_add(change, std::memory_order_relaxed);
}

}  // namespace quenlo::platform::probe
