// UTF-16 text a node holds: either placed in its store's blocks by a parse (freed with the
// store) or a heap copy of its own, made when text is set after the parse.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

#include "../small_blocks.h"

namespace quenlo::platform::dom {

class StoredText {
 public:
  StoredText() noexcept = default;
  // Text that lives in a store's blocks: not copied, not freed.
  static StoredText InBlock(std::u16string_view text) {
    StoredText stored;
    stored.data_ = text.data();
    stored.length_ = Length(text);
    return stored;
  }
  // A heap copy. Throws std::bad_alloc.
  static StoredText Copy(std::u16string_view text) {
    StoredText stored;
    stored.length_ = Length(text);
    if (text.empty()) return stored;
    auto* copy = static_cast<char16_t*>(small_blocks::Take(text.size() * sizeof(char16_t)));
    if (copy == nullptr) throw std::bad_alloc();
    std::copy(text.begin(), text.end(), copy);
    stored.data_ = copy;
    stored.owned_ = true;
    return stored;
  }

  StoredText(StoredText&& other) noexcept { Take(other); }
  StoredText& operator=(StoredText&& other) noexcept {
    if (this != &other) {
      Release();
      Take(other);
    }
    return *this;
  }
  ~StoredText() { Release(); }

  std::u16string_view View() const noexcept { return {data_, length_}; }
  bool OwnsMemory() const noexcept { return owned_; }

 private:
  static std::uint32_t Length(std::u16string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
    return static_cast<std::uint32_t>(text.size());
  }
  void Take(StoredText& other) noexcept {
    data_ = std::exchange(other.data_, nullptr);
    length_ = std::exchange(other.length_, 0);
    owned_ = std::exchange(other.owned_, false);
  }
  void Release() noexcept {
    if (owned_) small_blocks::Give(const_cast<char16_t*>(data_), length_ * sizeof(char16_t));
  }

  const char16_t* data_ = nullptr;
  std::uint32_t length_ = 0;
  bool owned_ = false;
};

}  // namespace quenlo::platform::dom
