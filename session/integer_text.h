// Reading texts that stand for numbers: the C library's atoi rules (leading white space, an
// optional sign, the digits up to the first other character; no digits give 0), except that a
// value beyond the 32-bit range saturates at its limit instead of being undefined.
#pragma once

#include <string_view>

#include "component/ole_text.h"

namespace quenlo::confext {

LONG ParseIntegerText(std::string_view ansi) noexcept;
// The text is read after conversion to the ANSI code page, as the narrow texts are.
LONG ParseIntegerText(OleStringView text);

}  // namespace quenlo::confext
