// Views of wide text as the module receives it: zero-terminated, with null meaning "empty".
#pragma once

#include <quenlo/platform.h>

#include <string>
#include <string_view>

namespace quenlo {

using OleStringView = std::basic_string_view<OLECHAR>;
// An owned copy of wide text, for containers that outlive the call that handed the text in.
using OleString = std::basic_string<OLECHAR>;

// A null pointer stands for the empty string.
inline OleStringView ViewOf(const OLECHAR* text) noexcept {
  return text == nullptr ? OleStringView{} : OleStringView{text};
}

// The whole text of a platform string that the caller does not own, embedded zero units
// included; a null string stands for the empty one.
inline OleStringView ViewOfBstr(BSTR text) noexcept {
  return text == nullptr ? OleStringView{} : OleStringView{text, SysStringLen(text)};
}

// A wide-text argument: a zero-terminated pointer (null meaning empty) or a counted view, so
// that callers holding either kind pass it straight in.
class OleText {
 public:
  OleText(const OLECHAR* text) noexcept : view_(ViewOf(text)) {}  // NOLINT: implicit by design
  OleText(OleStringView text) noexcept : view_(text) {}           // NOLINT: implicit by design

  OleStringView View() const noexcept { return view_; }

 private:
  OleStringView view_;
};

// Compares two texts folding only the ASCII letters A-Z; every other unit must match exactly.
bool EqualsIgnoringAsciiCase(OleStringView left, OleStringView right) noexcept;

}  // namespace quenlo
