#include "voting/refer_subject_map.h"

#include <algorithm>

namespace quenlo::confext {

namespace {

// Kept by Clear for the next subjects: room for a few hundred subjects of ordinary length.
constexpr std::size_t kUnitsKept = 16 * 1024;
constexpr std::size_t kEntriesKept = 256;

// Room for `more` elements, grown geometrically as push_back would grow it.
template <class Element>
void MakeRoom(std::vector<Element>& elements, std::size_t more) {
  const std::size_t needed = elements.size() + more;
  if (needed > elements.capacity()) elements.reserve(std::max(needed, 2 * elements.capacity()));
}

}  // namespace

void ReferSubjectMap::Add(OleStringView index, OleStringView text) {
  const auto place = std::lower_bound(
      entries_.begin(), entries_.end(), index,
      [this](const Entry& entry, OleStringView wanted) { return IndexOf(entry) < wanted; });
  if (place != entries_.end() && IndexOf(*place) == index) return;
  const auto position = place - entries_.begin();
  // Whatever can fail fails here, with the map as it was; the inserts below stay within capacity.
  MakeRoom(entries_, 1);
  MakeRoom(units_, index.size() + text.size());
  const Entry entry{units_.size(), index.size(), text.size()};
  units_.resize(entry.at + index.size() + text.size());
  std::copy(text.begin(), text.end(),
            std::copy(index.begin(), index.end(), units_.begin() + entry.at));
  entries_.insert(entries_.begin() + position, entry);
}

void ReferSubjectMap::Clear() noexcept {
  if (units_.capacity() > kUnitsKept || entries_.capacity() > kEntriesKept) {
    std::vector<OLECHAR>().swap(units_);
    std::vector<Entry>().swap(entries_);
    return;
  }
  units_.clear();
  entries_.clear();
}

}  // namespace quenlo::confext
