// Values by name, the first value given for a name kept: open addressing over one array that
// grows by doubling. A result reply of ten thousand subjects, reserved for up front, so costs one
// allocation here where a node-based map cost one per name.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "component/ole_text.h"

namespace quenlo::confext {

template <class Value>
class NameIndex {
 public:
  // Room for `count` names in all. Throws std::bad_alloc.
  void Reserve(std::size_t count) {
    const std::size_t wanted = std::bit_ceil(std::max<std::size_t>(count * 2, 8));
    if (wanted <= slots_.size()) return;
    std::vector<Slot> previous = std::exchange(slots_, std::vector<Slot>(wanted));
    shift_ = 64 - std::countr_zero(wanted);
    for (const Slot& slot : previous) {
      if (slot.value != nullptr) slots_[PlaceOf(slot.name)] = slot;
    }
  }

  // The value kept under name: value itself (which must not be null) when the name is new.
  // Throws std::bad_alloc when the index must grow and cannot.
  Value* Keep(OleStringView name, Value* value) {
    if ((size_ + 1) * 2 > slots_.size()) Reserve(std::max(size_ + 1, slots_.size()));
    Slot& slot = slots_[PlaceOf(name)];
    if (slot.value == nullptr) {
      slot = {name, value};
      ++size_;
    }
    return slot.value;
  }

  // The value kept under name, or null.
  Value* Find(OleStringView name) const noexcept {
    return slots_.empty() ? nullptr : slots_[PlaceOf(name)].value;
  }

  // How many names are kept.
  std::size_t Size() const noexcept { return size_; }

 private:
  struct Slot {
    OleStringView name;
    Value* value = nullptr;
  };

  // Where name is kept, or the empty slot where it would go: the array is never more than half
  // full, so an empty slot ends every probe.
  std::size_t PlaceOf(OleStringView name) const noexcept {
    std::uint64_t hash = 14695981039346656037u;  // FNV-1a over the units
    for (const OLECHAR unit : name) {
      hash = (hash ^ static_cast<std::uint64_t>(unit)) * 1099511628211u;
    }
    // The high bits of a multiplicative mix, so that names differing in one unit spread.
    const std::size_t mask = slots_.size() - 1;
    for (auto at = static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15u) >> shift_);;
         at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.value == nullptr || slot.name == name) return at;
    }
  }

  std::vector<Slot> slots_;  // a power of two in number, or none
  int shift_ = 63;           // 64 less the bits of an index into slots_
  std::size_t size_ = 0;
};

}  // namespace quenlo::confext
