#include "block_cache.h"

#include <cstdlib>
#include <new>
#include <utility>

#include "../sanitizers.h"

namespace quenlo::platform::dom::block_cache {
namespace {

constexpr bool kKeepBlocks = !kAddressSanitizer;

// A kept block, linked through its own first bytes.
struct Kept {
  Kept* next;
  std::size_t size;
};

struct Shelf {
  Kept* first = nullptr;
  std::size_t bytes = 0;

  ~Shelf() {
    while (first != nullptr) std::free(std::exchange(first, first->next));
    gone = true;
  }

  // Trees may still go while other thread-locals are destroyed after this one.
  static thread_local bool gone;
};

thread_local bool Shelf::gone = false;
thread_local Shelf shelf;

// This thread's shelf, or null where nothing is kept. Not inlined: each mention of a
// thread-local in the code that would take it in costs a call into the loader.
[[gnu::noinline]] Shelf* CurrentShelf() noexcept {
  if (!kKeepBlocks || Shelf::gone) return nullptr;
  return &shelf;
}

}  // namespace

void* Take(std::size_t size) {
  if (Shelf* kept = CurrentShelf()) {
    for (Kept** link = &kept->first; *link != nullptr; link = &(*link)->next) {
      if ((*link)->size != size) continue;
      Kept* block = *link;
      *link = block->next;
      kept->bytes -= size;
      return block;
    }
  }
  void* block = std::malloc(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void Give(void* block, std::size_t size) noexcept {
  Shelf* kept = size >= sizeof(Kept) ? CurrentShelf() : nullptr;
  if (kept == nullptr || kept->bytes + size > kKeptBytes) {
    std::free(block);
    return;
  }
  kept->first = new (block) Kept{kept->first, size};
  kept->bytes += size;
}

}  // namespace quenlo::platform::dom::block_cache
