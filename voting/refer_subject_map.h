// The subjects of the next Refer: index -> text, each index once, in the order of their UTF-16
// code units as unsigned numbers ("10" before "2"); an index added again keeps its first text.
// Hosts add a handful of subjects, send them and start again, so the texts share one buffer and
// the entries one sorted array, both kept across Clear up to a bound: refilling the map costs no
// allocation, and a host that once sent thousands of subjects does not keep their memory.
#pragma once

#include <cstddef>
#include <vector>

#include "component/ole_text.h"

namespace quenlo::confext {

class ReferSubjectMap {
 public:
  // Stores copies of both texts unless index is already present. Throws std::bad_alloc, and
  // then stores nothing.
  void Add(OleStringView index, OleStringView text);
  void Clear() noexcept;

  bool Empty() const noexcept { return entries_.empty(); }
  // Calls visit(index, text) for every entry, in index order. The views live until the next
  // Add or Clear.
  template <class Visit>
  void ForEach(Visit&& visit) const {
    for (const Entry& entry : entries_) visit(IndexOf(entry), TextOf(entry));
  }

 private:
  struct Entry {
    std::size_t at;           // of the index in units_, the text right after it
    std::size_t indexLength;  // in code units
    std::size_t textLength;
  };

  OleStringView IndexOf(const Entry& entry) const noexcept {
    return {units_.data() + entry.at, entry.indexLength};
  }
  OleStringView TextOf(const Entry& entry) const noexcept {
    return {units_.data() + entry.at + entry.indexLength, entry.textLength};
  }

  std::vector<OLECHAR> units_;  // every index and text, one after the other
  std::vector<Entry> entries_;  // sorted by index
};

}  // namespace quenlo::confext
