#include "scalar_text.h"

#include <charconv>
#include <climits>
#include <new>
#include <string>

namespace quenlo::platform {
namespace {

bool IsWhiteSpace(char16_t unit) { return unit == u' ' || (unit >= u'\t' && unit <= u'\r'); }

bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The validated text holds ASCII only, so narrowing it loses nothing.
std::string Narrow(std::u16string_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (const char16_t unit : text) narrow.push_back(static_cast<char>(unit));
  return narrow;
}

// The layout of a well-formed number, as offsets into the trimmed text.
struct NumberShape {
  bool negative = false;
  std::size_t unsignedStart = 0;
  std::size_t integerDigits = 0;
  std::size_t fractionDigits = 0;
  bool hasFraction = false;
  bool hasExponent = false;
  LONGLONG exponent = 0;  // clamped: only its sign and rough size matter beyond a double's range
};

std::size_t SkipDigits(std::u16string_view text, std::size_t position) {
  while (position < text.size() && IsDigit(text[position])) ++position;
  return position;
}

std::optional<NumberShape> ShapeOf(std::u16string_view text) {
  NumberShape shape;
  std::size_t position = 0;
  if (position < text.size() && (text[position] == u'+' || text[position] == u'-')) {
    shape.negative = text[position] == u'-';
    ++position;
  }
  shape.unsignedStart = position;
  position = SkipDigits(text, position);
  shape.integerDigits = position - shape.unsignedStart;
  if (position < text.size() && text[position] == u'.') {
    shape.hasFraction = true;
    const std::size_t fractionStart = ++position;
    position = SkipDigits(text, position);
    shape.fractionDigits = position - fractionStart;
  }
  if (shape.integerDigits + shape.fractionDigits == 0) return std::nullopt;
  if (position < text.size() && (text[position] == u'e' || text[position] == u'E')) {
    shape.hasExponent = true;
    ++position;
    bool negativeExponent = false;
    if (position < text.size() && (text[position] == u'+' || text[position] == u'-')) {
      negativeExponent = text[position] == u'-';
      ++position;
    }
    const std::size_t exponentStart = position;
    constexpr LONGLONG kExponentClamp = 100000;
    for (; position < text.size() && IsDigit(text[position]); ++position) {
      shape.exponent = std::min(shape.exponent * 10 + (text[position] - u'0'), kExponentClamp);
    }
    if (position == exponentStart) return std::nullopt;
    if (negativeExponent) shape.exponent = -shape.exponent;
  }
  if (position != text.size()) return std::nullopt;
  return shape;
}

// Where the first significant digit stands relative to the decimal point, with the exponent
// applied: positive for a magnitude of at least 1. Tells overflow from underflow.
LONGLONG DecimalMagnitude(std::u16string_view text, const NumberShape& shape) {
  const std::u16string_view digits = text.substr(shape.unsignedStart);
  for (std::size_t index = 0; index < shape.integerDigits; ++index) {
    if (digits[index] != u'0') {
      return static_cast<LONGLONG>(shape.integerDigits - index) + shape.exponent;
    }
  }
  if (!shape.hasFraction) return LLONG_MIN;
  const std::u16string_view fraction = digits.substr(shape.integerDigits + 1);
  for (std::size_t index = 0; index < shape.fractionDigits; ++index) {
    if (fraction[index] != u'0') return shape.exponent - static_cast<LONGLONG>(index);
  }
  return LLONG_MIN;
}

bool ParseWholeNumber(std::u16string_view text, const NumberShape& shape, Scalar& value) {
  const std::string digits = Narrow(text.substr(shape.unsignedStart));
  ULONGLONG magnitude = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (error != std::errc{}) return false;
  constexpr auto kLargestSigned = static_cast<ULONGLONG>(LLONG_MAX);
  if (!shape.negative) {
    value =
        magnitude <= kLargestSigned ? Scalar{static_cast<LONGLONG>(magnitude)} : Scalar{magnitude};
    return true;
  }
  if (magnitude > kLargestSigned + 1) return false;
  // Negating in the unsigned domain reaches LLONG_MIN without overflowing.
  value = static_cast<LONGLONG>(0 - magnitude);
  return true;
}

HRESULT ParseReal(std::u16string_view text, const NumberShape& shape, Scalar& value) {
  const std::string narrow = Narrow(text.substr(shape.unsignedStart));
  double magnitude = 0;
  const auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), magnitude,
                                            std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    if (DecimalMagnitude(text, shape) > 0) return DISP_E_OVERFLOW;
    magnitude = 0;
  } else if (error != std::errc{} || end != narrow.data() + narrow.size()) {
    return DISP_E_TYPEMISMATCH;
  }
  value = shape.negative ? -magnitude : magnitude;
  return S_OK;
}

}  // namespace

HRESULT ParseNumber(std::u16string_view text, Scalar& value) {
  text = Trim(text);
  const std::optional<NumberShape> shape = ShapeOf(text);
  if (!shape) return DISP_E_TYPEMISMATCH;
  try {
    const bool whole = !shape->hasFraction && !shape->hasExponent;
    if (whole && ParseWholeNumber(text, *shape, value)) return S_OK;
    return ParseReal(text, *shape, value);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

std::optional<bool> ParseTruthWord(std::u16string_view text) {
  text = Trim(text);
  const auto equalsIgnoringCase = [text](std::u16string_view lowerWord) {
    if (text.size() != lowerWord.size()) return false;
    for (std::size_t index = 0; index < text.size(); ++index) {
      const char16_t unit = text[index];
      const auto folded =
          unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
      if (folded != lowerWord[index]) return false;
    }
    return true;
  };
  if (equalsIgnoringCase(u"true")) return true;
  if (equalsIgnoringCase(u"false")) return false;
  return std::nullopt;
}

std::string_view FormatNumber(const Scalar& value, int significantDigits,
                              NumberTextBuffer& buffer) {
  char* const first = buffer.data();
  char* const last = first + buffer.size();
  const std::to_chars_result written = std::visit(
      [&](auto number) {
        if constexpr (std::is_same_v<decltype(number), double>) {
          // Zero prints without a sign, however it was reached.
          if (number == 0) number = 0;
          return std::to_chars(first, last, number, std::chars_format::general, significantDigits);
        } else {
          return std::to_chars(first, last, number);
        }
      },
      value);
  for (char* position = first; position != written.ptr; ++position) {
    if (*position >= 'a' && *position <= 'z') *position = static_cast<char>(*position - 'a' + 'A');
  }
  return {first, static_cast<std::size_t>(written.ptr - first)};
}

}  // namespace quenlo::platform
