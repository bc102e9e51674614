// The shared wide string of the module: a handle to an immutable, reference-counted text held
// as a platform string. Copies share the text. A handle is null (nothing), holds a null text,
// or holds a text (possibly empty); the ordering tells the three apart.
#pragma once

#include <compare>
#include <string_view>

#include "component/bstr.h"

namespace quenlo::confext {

class WideString {
 public:
  WideString() noexcept = default;
  WideString(const WideString& other) noexcept;
  WideString(WideString&& other) noexcept;
  WideString& operator=(WideString other) noexcept;
  ~WideString();

  // Each throws _com_error: E_OUTOFMEMORY when allocation fails, the platform's last error
  // when the code-page conversion fails, the conversion's status when a variant cannot become a
  // string (a null variant, for one).
  static WideString FromWide(const OLECHAR* text);  // null gives a null text
  static WideString FromWide(OleStringView text);   // always a text, possibly empty
  static WideString FromAnsi(const char* text);     // null gives a null text
  static WideString FromAnsi(std::string_view text);
  static WideString FromVariant(const VARIANT& value);
  // Takes over a platform string without copying it (a null string gives a null text).
  static WideString Adopt(Bstr text);

  bool IsNull() const noexcept { return record_ == nullptr; }
  // The platform string, null for a null handle or a null text. Valid while a handle lives.
  BSTR Text() const noexcept;
  // The text, embedded zero units included; empty for a null handle or null text.
  OleStringView View() const noexcept;
  bool IsEmpty() const noexcept { return View().empty(); }
  // A new platform string with the text, for handing out. Throws _com_error(E_OUTOFMEMORY).
  Bstr Copy() const;

  // Null handle < null text < any text; texts compare unit by unit, a prefix first.
  friend std::strong_ordering operator<=>(const WideString& left, const WideString& right) noexcept;
  friend bool operator==(const WideString& left, const WideString& right) noexcept {
    return (left <=> right) == std::strong_ordering::equal;
  }

 private:
  struct Record;

  Record* record_ = nullptr;
};

}  // namespace quenlo::confext
