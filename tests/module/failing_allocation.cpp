#include "failing_allocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

constexpr long kUnlimited = -1;
std::atomic<long> allowance{kUnlimited};
std::atomic<bool> refused{false};

}  // namespace

FailingAllocation::FailingAllocation(long allowed) noexcept {
  refused.store(false);
  allowance.store(allowed);
}

FailingAllocation::~FailingAllocation() { allowance.store(kUnlimited); }

bool FailingAllocation::Refused() const noexcept { return refused.load(); }

void* operator new(std::size_t size) {
  long left = allowance.load();
  while (left != kUnlimited && !allowance.compare_exchange_weak(left, left - 1)) {
  }
  if (left == 0) {
    refused.store(true);
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

// Replaced too, so that every allocation the program makes comes from the one above and is freed
// by the matching delete (a sanitizer's own nothrow form would not be).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}
