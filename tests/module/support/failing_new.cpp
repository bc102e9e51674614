#include "support/failing_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> failingOrdinal{0};
std::atomic<long> newsSeen{0};
thread_local int holds = 0;

void* Allocate(std::size_t size) {
  if (holds > 0) return std::malloc(size == 0 ? 1 : size);
  const long seen = newsSeen.fetch_add(1, std::memory_order_relaxed) + 1;
  if (seen == failingOrdinal.load(std::memory_order_relaxed)) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace quenlo::testing {

void FailOperatorNew(long ordinal) {
  newsSeen.store(0);
  failingOrdinal.store(ordinal);
}

long OperatorNewsSeen() { return newsSeen.load(); }

OperatorNewFailuresHeld::OperatorNewFailuresHeld() { ++holds; }
OperatorNewFailuresHeld::~OperatorNewFailuresHeld() { --holds; }

}  // namespace quenlo::testing

// Every form that allocates through the replaceable operator new, and the matching deletes: the
// memory comes from malloc, so it must go back to free.
void* operator new(std::size_t size) {
  if (void* memory = Allocate(size)) return memory;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
