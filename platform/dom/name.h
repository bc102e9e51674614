// A name (a tag, an attribute name, a namespace URI) as nodes share it: kept once and compared by
// pointer wherever one store's names meet.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string_view>

namespace quenlo::platform::dom {

struct Name {
  std::uint32_t hash;  // TagSummary::HashOf of the text
  std::uint32_t length;
  const char16_t* text;
  // Set once the text has been found a valid XML name, so that elements and attributes made by
  // callers over and over under the same name are checked once.
  mutable std::atomic<bool> checkedXmlName{false};

  std::u16string_view View() const noexcept { return {text, length}; }
  // Whether this is the name of `other` (UTF-16 units, or ASCII bytes), whose hash is given.
  template <class Unit>
  bool Matches(std::basic_string_view<Unit> other, std::uint32_t otherHash) const noexcept {
    return hash == otherHash && length == other.size() &&
           std::equal(other.begin(), other.end(), text);
  }
};

}  // namespace quenlo::platform::dom
