// Replaces the C allocator's entry points for the benchmark process; every library's malloc and
// free, and operator new through them, pass through here on their way to glibc's own.
#include "allocation_count.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* memory, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* memory);
}

namespace {

// The benchmarks allocate on one thread: a plain load and store keeps the count exact there
// without the locked instruction an atomic increment costs on every allocation.
std::atomic<std::size_t> calls{0};
std::atomic<std::size_t> liveBytes{0};
std::atomic<bool> countBytes{false};

void Add(std::atomic<std::size_t>& counter, std::size_t amount) noexcept {
  counter.store(counter.load(std::memory_order_relaxed) + amount, std::memory_order_relaxed);
}

void* Noted(void* memory) noexcept {
  if (memory != nullptr) {
    Add(calls, 1);
    if (countBytes.load(std::memory_order_relaxed)) Add(liveBytes, malloc_usable_size(memory));
  }
  return memory;
}

void Forget(void* memory) noexcept {
  if (memory != nullptr && countBytes.load(std::memory_order_relaxed)) {
    Add(liveBytes, 0 - malloc_usable_size(memory));
  }
}

}  // namespace

void CountAllocatedBytes(bool on) noexcept { countBytes.store(on, std::memory_order_relaxed); }

AllocationCount CurrentAllocations() noexcept {
  return {calls.load(std::memory_order_relaxed), liveBytes.load(std::memory_order_relaxed)};
}

extern "C" {

void* malloc(std::size_t size) { return Noted(__libc_malloc(size)); }

void* calloc(std::size_t count, std::size_t size) { return Noted(__libc_calloc(count, size)); }

void* realloc(void* memory, std::size_t size) {
  Forget(memory);
  void* moved = __libc_realloc(memory, size);
  if (moved == nullptr && size != 0) {  // the old block is still there
    if (memory != nullptr && countBytes.load(std::memory_order_relaxed)) {
      Add(liveBytes, malloc_usable_size(memory));
    }
    return nullptr;
  }
  return Noted(moved);
}

void free(void* memory) {
  Forget(memory);
  __libc_free(memory);
}

void* memalign(std::size_t alignment, std::size_t size) {
  return Noted(__libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
  return Noted(__libc_memalign(alignment, size));
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  void* memory = Noted(__libc_memalign(alignment, size));
  if (memory == nullptr) return ENOMEM;
  *out = memory;
  return 0;
}

}  // extern "C"
