// Small heap blocks (BSTRs, DOM nodes made by callers, their texts and attribute arrays) kept per
// thread once freed and handed out again for the same size class. Building a request makes and
// frees a few dozen of them of two or three sizes at once, more than the C library keeps per
// thread, which then sends the rest through its slower shared paths. At most kKeptPerClass
// blocks stay per size class and thread; nothing is kept under AddressSanitizer.
#pragma once

#include <cstddef>

namespace quenlo::platform::small_blocks {

// Larger blocks go to the heap and back directly.
inline constexpr std::size_t kLargest = 256;
inline constexpr std::size_t kKeptPerClass = 64;

// At least `size` bytes, aligned as malloc aligns; null when there is no memory.
void* Take(std::size_t size) noexcept;
// Gives back a block from Take, with the size it was asked for; null is ignored.
void Give(void* block, std::size_t size) noexcept;
// The bytes a block taken for `size` bytes has room for: Give takes any size from `size` up to
// this one for it.
std::size_t Room(std::size_t size) noexcept;

}  // namespace quenlo::platform::small_blocks
