// The process registry's names as one thread's parses last met them, found by the name's bytes
// alone: a reply repeats a few dozen short names, and looking one up here costs a comparison of
// two words where scanning, hashing and finding it in the registry costs a pass over its bytes
// and a comparison of its text. Only registry names are kept, which are never freed, so that an
// entry stays valid from one parse to the next.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

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
  // A name is kept in its own slot or in the one paired with it (the slot number with its last bit
  // flipped): two names of one reply that share a slot, as "caption" and "multi" do, would
  // otherwise push each other out at every parse.
  const Name* Find(const NameKey& key) const noexcept {
    const std::size_t slot = SlotOf(key);
    if (entries_[slot].key == key) return entries_[slot].name;
    const Entry& paired = entries_[slot ^ 1];
    return paired.key == key ? paired.name : nullptr;
  }
  // name must be the registry's: it is handed out again by later parses. Its own slot while that
  // is free, else the paired one, whose name makes way.
  void Keep(const NameKey& key, const Name* name) noexcept {
    const std::size_t slot = SlotOf(key);
    entries_[entries_[slot].name == nullptr ? slot : slot ^ 1] = {key, name};
  }

  // Longer texts, namespace URIs above all: a reply declares one or two, the same ones in every
  // reply, and would otherwise have each hashed and looked up in the registry every time.
  const Name* FindLong(std::string_view utf8) const noexcept {
    for (const LongEntry& entry : longEntries_) {
      if (entry.name != nullptr && std::string_view(entry.text.data(), entry.length) == utf8) {
        return entry.name;
      }
    }
    return nullptr;
  }
  // As for Keep; texts too long for an entry are not kept.
  void KeepLong(std::string_view utf8, const Name* name) noexcept {
    if (utf8.size() > kLongestKept) return;
    LongEntry& entry = longEntries_[nextLong_];
    nextLong_ = (nextLong_ + 1) % longEntries_.size();
    std::copy(utf8.begin(), utf8.end(), entry.text.begin());
    entry.length = utf8.size();
    entry.name = name;
  }

 private:
  static constexpr std::size_t kLongestKept = 96;

  struct LongEntry {
    std::array<char, kLongestKept> text;
    std::size_t length = 0;
    const Name* name = nullptr;  // null while empty
  };

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
  std::array<LongEntry, 4> longEntries_{};
  std::size_t nextLong_ = 0;  // the entry KeepLong fills next
};

}  // namespace quenlo::platform::dom
