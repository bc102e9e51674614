// The order in which voting result objects list their subjects: keys (an "index", "id" or
// "name" text) by their UTF-16 code units as unsigned numbers, a prefix first, so "10" comes
// before "2" and "Z" before "a"; equal keys keep their document order, and the first of them in
// document order is the one that counts for all.
#pragma once

#include <cstddef>
#include <vector>

#include "component/ole_text.h"

namespace quenlo::confext {

struct KeyOrder {
  // Positions (in document order) of the keys, sorted; equal keys keep their document order.
  std::vector<std::size_t> sorted;
  // For each position: the position of the first key in document order equal to it.
  std::vector<std::size_t> first;
};

// keys[i] is the key of the i-th entry in document order. O(n log n).
KeyOrder OrderKeys(const std::vector<OleStringView>& keys);

}  // namespace quenlo::confext
