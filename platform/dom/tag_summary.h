// Which tag names the elements of one document may carry, so that looking up a tag none of
// them has answers at once instead of walking the whole tree. One bit per hash of a name, set
// when an element is made and never cleared: a clear bit is a certain "none", a set bit only a
// "maybe". Once a node of another document has been appended into one of this document's
// trees, the summary no longer covers those trees and answers "maybe" for everything.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

namespace quenlo::platform::dom {

class TagSummary {
 public:
  // A cheap hash of a tag name, computed once per element made and per lookup; its low bits
  // choose the tag's bit here, and elements keep it to turn most other tags away unread.
  static std::uint32_t HashOf(std::u16string_view tag) noexcept;
  // The same hash, from the bytes of an ASCII name (each byte its own UTF-16 unit).
  static std::uint32_t HashOfAscii(std::string_view tag) noexcept;
  // The same hash taken one unit at a time (FNV-1a: tags are short, and every element made pays
  // it), for a reader that measures a name in the same pass.
  static constexpr std::uint32_t kHashStart = 2166136261u;
  static constexpr std::uint32_t HashStep(std::uint32_t hash, std::uint32_t unit) noexcept {
    return (hash ^ unit) * 16777619u;
  }

  // Elements may be made by several threads at once from one document. Read first: the bit is
  // nearly always set already, and a plain load keeps the line shared.
  void NoteTag(std::uint32_t tagHash) noexcept {
    std::atomic<std::uint64_t>& word = bits_[WordOf(tagHash)];
    const std::uint64_t mask = MaskOf(tagHash);
    if ((word.load(std::memory_order_relaxed) & mask) == 0) {
      word.fetch_or(mask, std::memory_order_relaxed);
    }
  }
  // The same while no other thread can reach the summary (a parse building a tree of its own):
  // a locked step per tag, as a new summary would take for every tag of a parse, costs more
  // than the rest of making the element.
  void NoteTagAlone(std::uint32_t tagHash) noexcept {
    std::atomic<std::uint64_t>& word = bits_[WordOf(tagHash)];
    word.store(word.load(std::memory_order_relaxed) | MaskOf(tagHash), std::memory_order_relaxed);
  }
  void NoteForeignChild() noexcept { foreignChildren_.store(true, std::memory_order_relaxed); }
  bool MayHold(std::uint32_t tagHash) const noexcept;

 private:
  static constexpr std::size_t kWordBits = 64;
  static constexpr std::size_t kWords = 4;

  // Which word holds the tag's bit, and the bit within it.
  static std::size_t WordOf(std::uint32_t tagHash) noexcept {
    return tagHash % (kWords * kWordBits) / kWordBits;
  }
  static std::uint64_t MaskOf(std::uint32_t tagHash) noexcept {
    return std::uint64_t{1} << (tagHash % kWordBits);
  }

  std::array<std::atomic<std::uint64_t>, kWords> bits_{};
  std::atomic<bool> foreignChildren_{false};
};

}  // namespace quenlo::platform::dom
