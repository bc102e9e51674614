#include "tag_summary.h"

namespace quenlo::platform::dom {

std::size_t TagSummary::BitOf(std::u16string_view tag) noexcept {
  std::uint32_t hash = 2166136261u;  // FNV-1a: tags are short, and every element made pays this
  for (const char16_t unit : tag) hash = (hash ^ unit) * 16777619u;
  return hash % (kWords * kWordBits);
}

void TagSummary::NoteTag(std::u16string_view tag) noexcept {
  const std::size_t bit = BitOf(tag);
  std::atomic<std::uint64_t>& word = bits_[bit / kWordBits];
  const std::uint64_t mask = std::uint64_t{1} << (bit % kWordBits);
  // Read first: the bit is nearly always set already, and a plain load keeps the line shared.
  if ((word.load(std::memory_order_relaxed) & mask) == 0) {
    word.fetch_or(mask, std::memory_order_relaxed);
  }
}

bool TagSummary::MayHold(std::size_t bit) const noexcept {
  if (foreignChildren_.load(std::memory_order_relaxed)) return true;
  const std::uint64_t mask = std::uint64_t{1} << (bit % kWordBits);
  return (bits_[bit / kWordBits].load(std::memory_order_relaxed) & mask) != 0;
}

}  // namespace quenlo::platform::dom
