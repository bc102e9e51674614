#include "small_blocks.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "sanitizers.h"

namespace quenlo::platform::small_blocks {
namespace {

constexpr std::size_t kGranule = 16;  // malloc's alignment; every class is a multiple of it
constexpr std::size_t kClasses = kLargest / kGranule;

std::size_t ClassOf(std::size_t size) noexcept { return size == 0 ? 0 : (size - 1) / kGranule; }
std::size_t SizeOfClass(std::size_t sizeClass) noexcept { return (sizeClass + 1) * kGranule; }

// A kept block, linked through its own first bytes.
struct Kept {
  Kept* next;
};

struct Shelves {
  struct Shelf {
    Kept* first = nullptr;
    std::uint32_t count = 0;
  };
  std::array<Shelf, kClasses> shelves;

  ~Shelves() {
    for (Shelf& shelf : shelves) {
      while (shelf.first != nullptr) {
        Kept* block = shelf.first;
        shelf.first = block->next;
        std::free(block);
      }
    }
  }
};

// Where a thread's pointer points once its shelves are gone: blocks may still be freed while
// other thread-locals are destroyed after them.
Shelves goneMarker;
Shelves* const kGone = &goneMarker;

// This thread's shelves, made on first use. The pointer is the only thread-local reached on
// every call, and it is reached in one load (initial-exec): the general model costs a call into
// the loader each time, as much as the allocation it would spare. Eight bytes fit the room the
// loader keeps for libraries that come with a module loaded later.
[[gnu::tls_model("initial-exec")]] thread_local Shelves* current = nullptr;

// Lets the shelves go when the thread ends.
struct ShelvesOwner {
  ~ShelvesOwner() {
    if (current != nullptr && current != kGone) delete current;
    current = kGone;
  }
};
thread_local ShelvesOwner owner;

Shelves* FirstShelves() noexcept {
  static_cast<void>(&owner);  // made (and so destroyed at the thread's end) from here on
  current = new (std::nothrow) Shelves();
  return current;
}

// This thread's shelves, or null when nothing is kept.
Shelves* CurrentShelves() noexcept {
  if (kAddressSanitizer) return nullptr;
  Shelves* shelves = current;
  if (shelves == nullptr) return FirstShelves();
  return shelves == kGone ? nullptr : shelves;
}

}  // namespace

void* Take(std::size_t size) noexcept {
  if (kAddressSanitizer || size > kLargest) return std::malloc(size == 0 ? 1 : size);
  const std::size_t sizeClass = ClassOf(size);
  if (Shelves* shelves = CurrentShelves()) {
    Shelves::Shelf& shelf = shelves->shelves[sizeClass];
    if (Kept* block = shelf.first) {
      shelf.first = block->next;
      --shelf.count;
      return block;
    }
  }
  // The whole class's size even where nothing is kept (a thread that is ending): the block may
  // be given back on a thread that keeps it and hands it out for any size of its class.
  return std::malloc(SizeOfClass(sizeClass));
}

void Give(void* block, std::size_t size) noexcept {
  if (block == nullptr) return;
  Shelves* shelves = size <= kLargest ? CurrentShelves() : nullptr;
  Shelves::Shelf* shelf = shelves != nullptr ? &shelves->shelves[ClassOf(size)] : nullptr;
  if (shelf == nullptr || shelf->count == kKeptPerClass) {
    std::free(block);
    return;
  }
  shelf->first = new (block) Kept{shelf->first};
  ++shelf->count;
}

std::size_t Room(std::size_t size) noexcept {
  // What Take asks malloc for: exactly the size where it keeps nothing.
  if (kAddressSanitizer || size == 0 || size > kLargest) return size;
  return SizeOfClass(ClassOf(size));
}

}  // namespace quenlo::platform::small_blocks
