// Reading and writing code points in UTF-16 and UTF-8, with malformed input reported rather
// than guessed at.
#pragma once

#include <cstddef>

namespace quenlo::platform {

struct DecodedCodePoint {
  char32_t value;
  bool valid;  // false: a lone surrogate or a malformed UTF-8 sequence; value is U+FFFD
};

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Reads the code point at text[position] and advances position past it.
DecodedCodePoint ReadUtf16(const char16_t* text, std::size_t length, std::size_t& position);
// An ill-formed sequence is consumed up to its longest valid start (the Unicode "maximal
// subpart"), so one stray byte costs one replacement character and no following character.
DecodedCodePoint ReadUtf8(const unsigned char* text, std::size_t length, std::size_t& position);

// Calls put(unit) for each unit of the code point.
template <typename Put>
void WriteUtf16(char32_t codePoint, Put&& put) {
  if (codePoint < 0x10000) {
    put(static_cast<char16_t>(codePoint));
    return;
  }
  const char32_t offset = codePoint - 0x10000;
  put(static_cast<char16_t>(0xD800 + (offset >> 10)));
  put(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

template <typename Put>
void WriteUtf8(char32_t codePoint, Put&& put) {
  const auto byte = [](char32_t bits) {
    return static_cast<char>(static_cast<unsigned char>(bits));
  };
  if (codePoint < 0x80) {
    put(byte(codePoint));
  } else if (codePoint < 0x800) {
    put(byte(0xC0 | (codePoint >> 6)));
    put(byte(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    put(byte(0xE0 | (codePoint >> 12)));
    put(byte(0x80 | ((codePoint >> 6) & 0x3F)));
    put(byte(0x80 | (codePoint & 0x3F)));
  } else {
    put(byte(0xF0 | (codePoint >> 18)));
    put(byte(0x80 | ((codePoint >> 12) & 0x3F)));
    put(byte(0x80 | ((codePoint >> 6) & 0x3F)));
    put(byte(0x80 | (codePoint & 0x3F)));
  }
}

}  // namespace quenlo::platform
