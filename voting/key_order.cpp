#include "voting/key_order.h"

#include <algorithm>
#include <numeric>

namespace quenlo::confext {

KeyOrder OrderKeys(const std::vector<OleStringView>& keys) {
  KeyOrder order;
  order.sorted.resize(keys.size());
  std::iota(order.sorted.begin(), order.sorted.end(), std::size_t{0});
  // Replies nearly always list their keys in order already: the sort, and the buffer a stable
  // sort allocates, are then spared.
  if (!std::is_sorted(keys.begin(), keys.end())) {
    std::stable_sort(
        order.sorted.begin(), order.sorted.end(),
        [&keys](std::size_t left, std::size_t right) { return keys[left] < keys[right]; });
  }
  order.first.resize(keys.size());
  std::size_t runStart = 0;
  for (std::size_t rank = 0; rank < order.sorted.size(); ++rank) {
    if (keys[order.sorted[rank]] != keys[order.sorted[runStart]]) runStart = rank;
    order.first[order.sorted[rank]] = order.sorted[runStart];
  }
  return order;
}

}  // namespace quenlo::confext
