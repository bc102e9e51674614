// Conversions between wide text and narrow text in a code page (the system ANSI code page,
// UTF-8), each one platform call to size the result and one to fill it.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "component/ole_text.h"

namespace quenlo {

// Whether a text's length reaches no further than the platform's conversions count (an int).
inline bool FitsPlatformSize(std::size_t size) noexcept {
  return size <= static_cast<std::size_t>(std::numeric_limits<int>::max());
}

// The conversion of narrow text into wide text, written where the caller keeps it:
// allocate(size) gives room for that many units (it may throw) and the text is written there, so
// that a caller holding a platform string needs no copy in between. False when the platform
// refuses the conversion (GetLastError tells why) or the text is longer than its sizes reach;
// empty text asks for room for 0 units.
template <class Allocate>
bool WidenInto(UINT codePage, std::string_view text, Allocate&& allocate) {
  if (!FitsPlatformSize(text.size())) return false;
  const int length = static_cast<int>(text.size());
  const int size =
      text.empty() ? 0 : MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (!text.empty() && size <= 0) return false;
  OLECHAR* const wide = allocate(size);
  return size == 0 || MultiByteToWideChar(codePage, 0, text.data(), length, wide, size) == size;
}

// Empty text converts to empty text. Nothing when the platform refuses the conversion (a lone
// surrogate under WC_ERR_INVALID_CHARS, say; GetLastError tells why) or the text is longer than
// the platform's sizes reach. flags are WideCharToMultiByte's.
std::optional<std::string> NarrowText(UINT codePage, OleStringView text, DWORD flags = 0);
// Sequences the code page does not allow come out as U+FFFD.
std::optional<OleString> WidenText(UINT codePage, std::string_view text);

}  // namespace quenlo
