// The process registry's names as one thread's parses last met them, found by the name's bytes
// alone: a reply repeats a few dozen short names, and looking one up here costs a comparison of
// two words where scanning, hashing and finding it in the registry costs a pass over its bytes
// and a comparison of its text. Only registry names are kept, which are never freed, so that an
// entry stays valid from one parse to the next.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "name.h"

namespace quenlo::platform::dom {

// A name of at most 15 ASCII bytes, as its bytes with zeros after them.
struct NameKey {
  std::uint64_t low = 0;
  std::uint64_t high = 0;

  bool operator==(const NameKey&) const noexcept = default;
};

class NameCache {
 public:
  const Name* Find(const NameKey& key) const noexcept {
    const Entry& entry = entries_[SlotOf(key)];
    return entry.key == key ? entry.name : nullptr;
  }
  // name must be the registry's: it is handed out again by later parses.
  void Keep(const NameKey& key, const Name* name) noexcept { entries_[SlotOf(key)] = {key, name}; }

 private:
  static constexpr std::size_t kSlotBits = 8;

  struct Entry {
    NameKey key;  // all zeros while empty, which no name has
    const Name* name = nullptr;
  };

  static std::size_t SlotOf(const NameKey& key) noexcept {
    const std::uint64_t mixed =
        key.low * 0x9E3779B97F4A7C15u ^ (key.high + 0x632BE59BD9B4E019u) * 0xC2B2AE3D27D4EB4Fu;
    return static_cast<std::size_t>(mixed >> (64 - kSlotBits));
  }

  std::array<Entry, std::size_t{1} << kSlotBits> entries_{};
};

}  // namespace quenlo::platform::dom
