#include "session/integer_text.h"

#include <cstdint>
#include <limits>

#include "session/ansi_text.h"

namespace quenlo::confext {

namespace {

bool IsCSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

LONG ParseIntegerText(std::string_view ansi) noexcept {
  constexpr std::int64_t kMagnitudeLimit = std::int64_t{std::numeric_limits<LONG>::max()} + 1;
  std::size_t position = 0;
  while (position < ansi.size() && IsCSpace(ansi[position])) ++position;
  bool negative = false;
  if (position < ansi.size() && (ansi[position] == '+' || ansi[position] == '-')) {
    negative = ansi[position] == '-';
    ++position;
  }
  std::int64_t magnitude = 0;
  for (; position < ansi.size() && ansi[position] >= '0' && ansi[position] <= '9'; ++position) {
    // Once past the limit the value only saturates; stopping the growth avoids overflow.
    if (magnitude < kMagnitudeLimit) magnitude = magnitude * 10 + (ansi[position] - '0');
  }
  if (negative) return static_cast<LONG>(-std::min(magnitude, kMagnitudeLimit));
  return static_cast<LONG>(std::min(magnitude, kMagnitudeLimit - 1));
}

LONG ParseIntegerText(OleStringView text) { return ParseIntegerText(ToAnsi(text)); }

}  // namespace quenlo::confext
