// An element's attributes in insertion order. A parse places them in its store's blocks; the
// first value set after that moves them to an array of the element's own, so that entries in
// blocks never hold memory of their own.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "node_store.h"
#include "stored_text.h"

namespace quenlo::platform::dom {

struct AttributeEntry {
  const Name* name;
  StoredText value;
};

class AttributeList {
 public:
  AttributeList() noexcept = default;
  // Entries the parse constructed in a store's blocks; they are destroyed, not freed, here.
  AttributeList(AttributeEntry* entries, std::uint32_t count) noexcept
      : entries_(entries), count_(count) {}
  AttributeList(AttributeList&& other) noexcept
      : entries_(std::exchange(other.entries_, nullptr)),
        count_(std::exchange(other.count_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  AttributeList& operator=(AttributeList&&) = delete;
  ~AttributeList() {
    if (entries_ != nullptr) Release();  // most elements have none, and lists moved from neither
  }

  std::span<const AttributeEntry> Entries() const noexcept { return {entries_, count_}; }
  // False while the entries are still those a parse placed in a store's blocks.
  bool OwnsMemory() const noexcept { return capacity_ != 0; }
  const AttributeEntry* Find(std::u16string_view name) const noexcept;
  // Replaces the value in place or appends; changes nothing when it throws std::bad_alloc.
  void Set(const Name* name, std::u16string_view value);
  bool Remove(std::u16string_view name) noexcept;

 private:
  void Grow();
  void Release() noexcept;

  AttributeEntry* entries_ = nullptr;
  std::uint32_t count_ = 0;
  std::uint32_t capacity_ = 0;  // 0 while the entries are in a store's blocks
};

}  // namespace quenlo::platform::dom
