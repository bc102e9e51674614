// Text crossing the DOM's boundary: BSTRs in and out, and the parser's UTF-8 into UTF-16.
#pragma once

#include <platform/oleauto.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace quenlo::platform::dom {

// Whether two names are the same text. Inline, unit by unit: names are short and mostly differ
// early or not at all, where string_view's comparison of wide text is a call into char_traits.
inline bool SameName(std::u16string_view name, std::u16string_view other) noexcept {
  if (name.size() != other.size()) return false;
  for (std::size_t at = 0; at < name.size(); ++at) {
    if (name[at] != other[at]) return false;
  }
  return true;
}

// A null BSTR is the empty string.
std::u16string_view ViewOf(BSTR text) noexcept;

// One allocation; E_OUTOFMEMORY when it fails, E_INVALIDARG for a null destination.
HRESULT CopyToBstr(std::u16string_view text, BSTR* out) noexcept;

// A new VT_BSTR variant holding a copy of the text.
HRESULT CopyToVariant(std::u16string_view text, VARIANT* out) noexcept;

// Sets *out to null and returns S_FALSE: how the DOM says "there is no such text".
HRESULT NoBstr(BSTR* out) noexcept;

// Appends well-formed UTF-8 (the parser only hands out well-formed text).
void AppendUtf8AsUtf16(std::string_view utf8, std::u16string& out);

// The number of UTF-8 bytes the text takes, counted only up to just past `limit`, so that
// measuring a huge input against a limit costs no more than the limit.
std::size_t Utf8LengthUpTo(std::u16string_view text, std::size_t limit) noexcept;

}  // namespace quenlo::platform::dom
