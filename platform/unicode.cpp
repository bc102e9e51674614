#include "unicode.h"

namespace quenlo::platform {
namespace {

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

constexpr DecodedCodePoint kMalformed{kReplacementCharacter, false};

struct Utf8Lead {
  int continuationCount;  // -1: the byte cannot start a sequence
  char32_t initialBits;
  // The first continuation byte's range excludes overlong forms, surrogates and values
  // beyond U+10FFFF; later continuation bytes are always 0x80-0xBF.
  unsigned char firstMin;
  unsigned char firstMax;
};

Utf8Lead ClassifyLead(unsigned char byte) {
  if (byte >= 0xC2 && byte <= 0xDF) return {1, byte & 0x1Fu, 0x80, 0xBF};
  if (byte == 0xE0) return {2, byte & 0x0Fu, 0xA0, 0xBF};
  if (byte == 0xED) return {2, byte & 0x0Fu, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {2, byte & 0x0Fu, 0x80, 0xBF};
  if (byte == 0xF0) return {3, byte & 0x07u, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {3, byte & 0x07u, 0x80, 0xBF};
  if (byte == 0xF4) return {3, byte & 0x07u, 0x80, 0x8F};
  return {-1, 0, 0, 0};
}

}  // namespace

DecodedCodePoint ReadUtf16(const char16_t* text, std::size_t length, std::size_t& position) {
  const char32_t unit = text[position++];
  if (IsLowSurrogate(unit)) return kMalformed;
  if (!IsHighSurrogate(unit)) return {unit, true};
  if (position == length || !IsLowSurrogate(text[position])) return kMalformed;
  const char32_t low = text[position++];
  return {0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), true};
}

DecodedCodePoint ReadUtf8(const unsigned char* text, std::size_t length, std::size_t& position) {
  const unsigned char lead = text[position++];
  if (lead < 0x80) return {lead, true};
  const Utf8Lead form = ClassifyLead(lead);
  if (form.continuationCount < 0) return kMalformed;
  char32_t value = form.initialBits;
  for (int index = 0; index < form.continuationCount; ++index) {
    const unsigned char min = index == 0 ? form.firstMin : 0x80;
    const unsigned char max = index == 0 ? form.firstMax : 0xBF;
    if (position == length || text[position] < min || text[position] > max) return kMalformed;
    value = (value << 6) | (text[position++] & 0x3Fu);
  }
  return {value, true};
}

}  // namespace quenlo::platform
