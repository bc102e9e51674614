// Owning wrapper of one platform string (BSTR): freed when the wrapper goes, on every path.
#pragma once

#include <utility>

#include "component/ole_text.h"

class Bstr {
 public:
  Bstr() noexcept = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.text_, nullptr));
    return *this;
  }
  ~Bstr() { Reset(); }

  // A new string with a copy of the text (null copies as empty); never null. Throws
  // _com_error(E_OUTOFMEMORY) when the platform cannot allocate it.
  static Bstr Copy(OleStringView text);
  // Takes over a string that the caller owned.
  static Bstr Adopt(BSTR text) noexcept;

  BSTR Get() const noexcept { return text_; }
  // The text, embedded zero units included; empty for a null string.
  OleStringView View() const noexcept;
  // For out-parameters: frees the current string and hands out the slot to fill.
  BSTR* Put() noexcept {
    Reset();
    return &text_;
  }
  // Gives the string to the caller, who frees it.
  BSTR Detach() noexcept { return std::exchange(text_, nullptr); }
  void Reset(BSTR text = nullptr) noexcept;

 private:
  BSTR text_ = nullptr;
};
