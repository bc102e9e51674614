// The order in which voting result objects list their subjects: keys (an "index", "id" or
// "name" text) by their UTF-16 code units as unsigned numbers, a prefix first, so "10" comes
// before "2" and "Z" before "a"; equal keys keep their document order, and the first of them in
// document order is the one that counts for all.
#pragma once

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

#include "component/ole_text.h"

namespace quenlo::confext {

class KeyOrder {
 public:
  // The position (in document order) of the key at `rank` in sorted order.
  std::size_t SortedAt(std::size_t rank) const noexcept {
    return sorted_.empty() ? rank : sorted_[rank];
  }
  // The position of the first key in document order equal to the one at `position`.
  std::size_t FirstAt(std::size_t position) const noexcept {
    return first_.empty() ? position : first_[position];
  }

 private:
  template <class KeyOf>
  friend KeyOrder OrderKeys(std::size_t count, KeyOf keyOf);

  // Both empty while every key stands in its own place: replies nearly always list their keys
  // in order, each once, and working that out then allocates nothing.
  std::vector<std::size_t> sorted_;
  std::vector<std::size_t> first_;
};

// keyOf(i) is the key (an OleStringView) of the i-th entry in document order. O(n log n), and
// O(n) for keys in order already.
template <class KeyOf>
KeyOrder OrderKeys(std::size_t count, KeyOf keyOf) {
  KeyOrder order;
  bool ascending = true;  // each key above the one before
  bool sorted = true;     // none below it
  for (std::size_t at = 1; at < count && sorted; ++at) {
    const OleStringView before = keyOf(at - 1);
    const OleStringView after = keyOf(at);
    if (before < after) continue;
    ascending = false;
    sorted = !(after < before);
  }
  if (ascending) return order;
  order.sorted_.resize(count);
  std::iota(order.sorted_.begin(), order.sorted_.end(), std::size_t{0});
  if (!sorted) {
    std::stable_sort(
        order.sorted_.begin(), order.sorted_.end(),
        [&keyOf](std::size_t left, std::size_t right) { return keyOf(left) < keyOf(right); });
  }
  order.first_.resize(count);
  std::size_t runStart = 0;
  for (std::size_t rank = 0; rank < count; ++rank) {
    if (keyOf(order.sorted_[rank]) != keyOf(order.sorted_[runStart])) runStart = rank;
    order.first_[order.sorted_[rank]] = order.sorted_[runStart];
  }
  return order;
}

}  // namespace quenlo::confext
