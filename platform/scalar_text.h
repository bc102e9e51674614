// Numbers and truth values written as text, the way variant conversions read and write them.
// The text is locale-independent: "." is the decimal separator whatever the process locale.
#pragma once

#include <platform/oleauto.h>

#include <array>
#include <optional>
#include <string_view>
#include <variant>

namespace quenlo::platform {

// A numeric value on its way between variant types; whole numbers stay exact.
using Scalar = std::variant<LONGLONG, ULONGLONG, double>;

// Reads [white space][sign]digits[.digits][e[sign]digits][white space]; digits are needed on
// at least one side of the ".". Whole numbers that fit 64 bits come back exact, others as a
// double. DISP_E_TYPEMISMATCH for any other text, DISP_E_OVERFLOW beyond the range of a double.
HRESULT ParseNumber(std::u16string_view text, Scalar& value);

// "true" or "false" in any case, with white space around it; empty for anything else.
std::optional<bool> ParseTruthWord(std::u16string_view text);

using NumberTextBuffer = std::array<char, 64>;

// Whole numbers in full; reals with at most significantDigits significant digits, in
// exponent form ("1E+20", "1E-05") when positional form would need more.
std::string_view FormatNumber(const Scalar& value, int significantDigits, NumberTextBuffer& buffer);

}  // namespace quenlo::platform
