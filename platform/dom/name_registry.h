// Names kept once for the whole process, so that a parse finds the few dozen names a reply
// carries already made instead of copying each into its own store, and so that a lookup takes
// no lock. Slots are only ever filled, never emptied: a name, once kept, stays until the
// process ends. The registry is bounded, in its number of names and in their length, because a
// server may send any names at all; names it does not keep stay in the store that met them (see
// NodeStore::Intern, which keeps the two consistent).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "name.h"

namespace quenlo::platform::dom {

class NameRegistry {
 public:
  // Keeps at most `capacity` names of at most `longestName` units.
  NameRegistry(std::size_t capacity, std::size_t longestName);
  NameRegistry(const NameRegistry&) = delete;
  NameRegistry& operator=(const NameRegistry&) = delete;
  ~NameRegistry();

  // The one every store uses. Made by the first call, which throws std::bad_alloc when it cannot
  // be made (the next call tries again).
  static NameRegistry& Process() {
    // Never destroyed: stores may outlive every static object, and a name must outlive its
    // stores.
    static NameRegistry* const registry = new NameRegistry(kProcessCapacity, kProcessLongestName);
    return *registry;
  }

  // The registry's name for the text when it holds one already, else null. Inline, since
  // nearly every name a parse meets is found here.
  template <class Unit>
  const Name* Find(std::basic_string_view<Unit> text, std::uint32_t hash) const noexcept {
    for (std::size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
      const Name* held = slots_[slot].load(std::memory_order_acquire);
      if (held == nullptr || held->Matches(text, hash)) return held;
    }
  }

  // The registry's name for the text (UTF-16 units, or ASCII bytes), whose hash is given, made if
  // it is new; null when the text is longer than the registry keeps or when it is new and the
  // registry is full. Once full, the registry stays full. Several threads may call at once.
  // Throws std::bad_alloc.
  template <class Unit>
  const Name* Intern(std::basic_string_view<Unit> text, std::uint32_t hash);
  // Set, for good, before the first name is refused for want of room.
  bool Full() const noexcept { return full_.load(); }

 private:
  // Enough for every name a conference's replies and requests use many times over, and for a
  // server that sends nonsense names to fill it without costing much memory.
  static constexpr std::size_t kProcessCapacity = 4096;
  static constexpr std::size_t kProcessLongestName = 128;

  const std::size_t capacity_;
  const std::size_t longestName_;
  const std::size_t mask_;  // of the slots, twice as many as names so that probes stay short
  std::unique_ptr<std::atomic<Name*>[]> slots_;
  std::atomic<std::size_t> taken_{0};  // names made, and attempts lost to a race
  std::atomic<bool> full_{false};
};

}  // namespace quenlo::platform::dom
