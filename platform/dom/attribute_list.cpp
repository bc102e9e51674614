#include "attribute_list.h"

#include <limits>
#include <memory>
#include <new>

#include "../small_blocks.h"
#include "dom_strings.h"

namespace quenlo::platform::dom {

void AttributeList::Release() noexcept {
  std::destroy_n(entries_, count_);
  if (capacity_ != 0) small_blocks::Give(entries_, capacity_ * sizeof(AttributeEntry));
}

const AttributeEntry* AttributeList::Find(std::u16string_view name) const noexcept {
  for (const AttributeEntry& entry : Entries()) {
    if (SameName(entry.name->View(), name)) return &entry;
  }
  return nullptr;
}

void AttributeList::Set(const Name* name, std::u16string_view value) {
  StoredText copy = StoredText::Copy(value);
  if (capacity_ == 0) Grow();  // entries in a store's blocks are never changed there
  for (AttributeEntry& entry : std::span(entries_, count_)) {
    if (entry.name == name) {
      entry.value = std::move(copy);  // an existing attribute keeps its place
      return;
    }
  }
  if (count_ == capacity_) Grow();
  new (entries_ + count_) AttributeEntry{name, std::move(copy)};
  ++count_;
}

void AttributeList::Grow() {
  if (count_ >= std::numeric_limits<std::uint32_t>::max() / 2) throw std::bad_alloc();
  const std::uint32_t capacity = count_ < 2 ? 4 : count_ * 2;
  auto* larger =
      static_cast<AttributeEntry*>(small_blocks::Take(capacity * sizeof(AttributeEntry)));
  if (larger == nullptr) throw std::bad_alloc();
  std::uninitialized_move_n(entries_, count_, larger);
  std::destroy_n(entries_, count_);
  if (capacity_ != 0) small_blocks::Give(entries_, capacity_ * sizeof(AttributeEntry));
  entries_ = larger;
  capacity_ = capacity;
}

bool AttributeList::Remove(std::u16string_view name) noexcept {
  const AttributeEntry* found = Find(name);
  if (found == nullptr) return false;
  AttributeEntry* at = entries_ + (found - entries_);
  std::move(at + 1, entries_ + count_, at);
  --count_;
  std::destroy_at(entries_ + count_);
  return true;
}

}  // namespace quenlo::platform::dom
