// Memory blocks of parsed trees that went, kept per thread for the next parse. A steady stream
// of replies then reuses the same memory instead of having the C library map it, the kernel
// fault it in page by page and the library give it back for every packet, which for a large
// reply costs more than building its tree. At most kKeptBytes stay per thread. Under
// AddressSanitizer nothing is kept, so that a node used after its tree went is still caught.
#pragma once

#include <cstddef>

namespace quenlo::platform::dom::block_cache {

inline constexpr std::size_t kKeptBytes = 4u << 20;

// A block of exactly `size` bytes, taken from those kept or else from the heap. Throws
// std::bad_alloc.
void* Take(std::size_t size);
// Keeps the block for a later Take on this thread, or frees it when enough are kept.
void Give(void* block, std::size_t size) noexcept;

}  // namespace quenlo::platform::dom::block_cache
