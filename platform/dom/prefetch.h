// Reading ahead of a walk through a large tree or text. The processor follows a stream of reads
// by itself only within a 4 KiB page, and a parse lays out its memory in the order it is later
// written and read (its input, pugixml's nodes, this DOM's nodes and texts), so each pass over
// a large reply asks for the memory one page ahead of where it is. Asking costs an instruction
// and never faults, whatever the address; a short reply, already in the cache, loses nothing.
#pragma once

namespace quenlo::platform::dom {

inline constexpr int kPrefetchDistance = 4096;

inline void PrefetchAhead(const void* at) noexcept {
  __builtin_prefetch(static_cast<const char*>(at) + kPrefetchDistance);
}

inline void PrefetchAheadForWriting(const void* at) noexcept {
  __builtin_prefetch(static_cast<const char*>(at) + kPrefetchDistance, 1);
}

}  // namespace quenlo::platform::dom
