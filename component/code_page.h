// Conversions between wide text and narrow text in a code page (the system ANSI code page,
// UTF-8), each one platform call to size the result and one to fill it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "component/ole_text.h"

namespace quenlo {

// Empty text converts to empty text. Nothing when the platform refuses the conversion (a lone
// surrogate under WC_ERR_INVALID_CHARS, say; GetLastError tells why) or the text is longer than
// the platform's sizes reach. flags are WideCharToMultiByte's.
std::optional<std::string> NarrowText(UINT codePage, OleStringView text, DWORD flags = 0);
// Sequences the code page does not allow come out as U+FFFD.
std::optional<OleString> WidenText(UINT codePage, std::string_view text);

}  // namespace quenlo
