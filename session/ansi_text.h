// Conversions between wide text and narrow text in the system ANSI code page, where property
// names and values live.
#pragma once

#include <string>
#include <string_view>

#include "component/bstr.h"

namespace quenlo::confext {

// Characters the code page lacks come out as its substitutes ("?"). A failed conversion gives
// the empty string.
std::string ToAnsi(OleStringView text);

// A new platform string with the converted text (empty text gives an allocated empty string).
// Throws _com_error: E_OUTOFMEMORY, or the platform's last error when the conversion fails.
Bstr AnsiToBstr(std::string_view text);

}  // namespace quenlo::confext
