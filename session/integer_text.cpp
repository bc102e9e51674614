#include "session/integer_text.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "session/ansi_text.h"

namespace quenlo::confext {

namespace {

template <class Unit>
bool IsCSpace(Unit c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <class Unit>
LONG ParseDigits(std::basic_string_view<Unit> text) noexcept {
  constexpr std::int64_t kMagnitudeLimit = std::int64_t{std::numeric_limits<LONG>::max()} + 1;
  std::size_t position = 0;
  while (position < text.size() && IsCSpace(text[position])) ++position;
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  std::int64_t magnitude = 0;
  for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
    // Once past the limit the value only saturates; stopping the growth avoids overflow.
    if (magnitude < kMagnitudeLimit) magnitude = magnitude * 10 + (text[position] - '0');
  }
  if (negative) return static_cast<LONG>(-std::min(magnitude, kMagnitudeLimit));
  return static_cast<LONG>(std::min(magnitude, kMagnitudeLimit - 1));
}

}  // namespace

LONG ParseIntegerText(std::string_view ansi) noexcept { return ParseDigits(ansi); }

// ASCII is the same in every ANSI code page, so only other text is converted (which may turn a
// character into a digit by best fit, as the narrow texts are read).
LONG ParseIntegerText(OleStringView text) {
  const bool ascii = std::all_of(text.begin(), text.end(), [](OLECHAR c) { return c < 0x80; });
  return ascii ? ParseDigits(text) : ParseDigits(std::string_view(ToAnsi(text)));
}

}  // namespace quenlo::confext
