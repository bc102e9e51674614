#include "allocation_probe.h"

#include <atomic>
#include <mutex>
#include <new>

namespace {

std::atomic<long> allocationsSeen{0};

// The live counts, kept per thread. Every BSTR and every DOM node made or freed is noted, and one
// shared counter took a locked step each time, on a cache line every thread writes: about 5% of
// reading a 1,000-item agenda reply. A thread changes its own counts with plain stores; asking
// adds up every thread's counts and those of threads that have ended.
struct Counts {
  std::atomic<long> bstrs{0};
  std::atomic<long> domNodes{0};
  Counts* next = nullptr;
  Counts* previous = nullptr;
};

class Registry {
 public:
  void Join(Counts& counts) {
    const std::lock_guard lock(mutex_);
    counts.next = first_;
    if (first_ != nullptr) first_->previous = &counts;
    first_ = &counts;
  }

  void Leave(Counts& counts) {
    const std::lock_guard lock(mutex_);
    ended_.bstrs.fetch_add(counts.bstrs.load(std::memory_order_relaxed));
    ended_.domNodes.fetch_add(counts.domNodes.load(std::memory_order_relaxed));
    (counts.previous != nullptr ? counts.previous->next : first_) = counts.next;
    if (counts.next != nullptr) counts.next->previous = counts.previous;
  }

  // Where a thread notes once its own counts are gone (other thread-locals may still free).
  Counts& Ended() noexcept { return ended_; }

  long Sum(std::atomic<long> Counts::*member) {
    const std::lock_guard lock(mutex_);
    long sum = (ended_.*member).load();
    for (const Counts* counts = first_; counts != nullptr; counts = counts->next) {
      sum += (counts->*member).load(std::memory_order_relaxed);
    }
    return sum;
  }

 private:
  std::mutex mutex_;
  Counts* first_ = nullptr;
  Counts ended_;
};

// Never destroyed: a thread may end, and leave, after the process's statics are gone.
Registry& TheRegistry() {
  static Registry* const registry = new Registry;
  return *registry;
}

Counts goneMarker;
Counts* const kGone = &goneMarker;

// This thread's counts, reached in one load (initial-exec), as small_blocks reaches its shelves.
[[gnu::tls_model("initial-exec")]] thread_local Counts* current = nullptr;

struct CountsOwner {
  ~CountsOwner() {
    if (current != nullptr && current != kGone) {
      TheRegistry().Leave(*current);
      delete current;
    }
    current = kGone;
  }
};
thread_local CountsOwner owner;

Counts* FirstCounts() noexcept {
  static_cast<void>(&owner);  // made (and so destroyed at the thread's end) from here on
  current = new (std::nothrow) Counts();
  if (current == nullptr) {
    current = kGone;
    return nullptr;
  }
  TheRegistry().Join(*current);
  return current;
}

void Note(std::atomic<long> Counts::*member, long change) noexcept {
  Counts* counts = current;
  if (counts == nullptr) counts = FirstCounts();
  if (counts == nullptr || counts == kGone) {
    (TheRegistry().Ended().*member).fetch_add(change, std::memory_order_relaxed);
    return;
  }
  std::atomic<long>& count = counts->*member;
  count.store(count.load(std::memory_order_relaxed) + change, std::memory_order_relaxed);
}

}  // namespace

extern "C" {

void QuenloProbeFailAllocation(long ordinal) {
  allocationsSeen.store(0);
  quenlo::platform::probe::failingOrdinal.store(ordinal);
}

long QuenloProbeAllocationsSeen() { return allocationsSeen.load(); }
long QuenloProbeLiveBstrs() { return TheRegistry().Sum(&Counts::bstrs); }
long QuenloProbeLiveDomNodes() { return TheRegistry().Sum(&Counts::domNodes); }

}  // extern "C"

namespace quenlo::platform::probe {

std::atomic<long> failingOrdinal{0};

bool CountArmedAllocation() noexcept {
  const long failing = failingOrdinal.load(std::memory_order_relaxed);
  if (failing == 0) return true;  // disarmed since the caller looked
  const long seen = allocationsSeen.fetch_add(1, std::memory_order_relaxed) + 1;
  return seen != failing;
}

void NoteBstrs(long change) noexcept { Note(&Counts::bstrs, change); }
void NoteDomNodes(long change) noexcept { Note(&Counts::domNodes, change); }

}  // namespace quenlo::platform::probe
