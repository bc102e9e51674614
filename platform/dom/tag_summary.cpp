#include "tag_summary.h"

namespace quenlo::platform::dom {

namespace {

template <class Unit>
std::uint32_t Fnv1a(std::basic_string_view<Unit> tag) noexcept {
  std::uint32_t hash = TagSummary::kHashStart;
  for (const Unit unit : tag) hash = TagSummary::HashStep(hash, static_cast<std::uint32_t>(unit));
  return hash;
}

}  // namespace

std::uint32_t TagSummary::HashOf(std::u16string_view tag) noexcept { return Fnv1a(tag); }

std::uint32_t TagSummary::HashOfAscii(std::string_view tag) noexcept { return Fnv1a(tag); }

bool TagSummary::MayHold(std::uint32_t tagHash) const noexcept {
  if (foreignChildren_.load(std::memory_order_relaxed)) return true;
  return (bits_[WordOf(tagHash)].load(std::memory_order_relaxed) & MaskOf(tagHash)) != 0;
}

}  // namespace quenlo::platform::dom
