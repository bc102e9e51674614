#include "xml_chars.h"

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "../unicode.h"
#include "name.h"
#include "prefetch.h"

namespace quenlo::platform::dom {
namespace {

bool InRange(char32_t c, char32_t low, char32_t high) { return c >= low && c <= high; }

bool IsNameStartChar(char32_t c) {
  return InRange(c, U'a', U'z') || InRange(c, U'A', U'Z') || c == U'_' || c == U':' ||
         InRange(c, 0xC0, 0xD6) || InRange(c, 0xD8, 0xF6) || InRange(c, 0xF8, 0x2FF) ||
         InRange(c, 0x370, 0x37D) || InRange(c, 0x37F, 0x1FFF) || InRange(c, 0x200C, 0x200D) ||
         InRange(c, 0x2070, 0x218F) || InRange(c, 0x2C00, 0x2FEF) || InRange(c, 0x3001, 0xD7FF) ||
         InRange(c, 0xF900, 0xFDCF) || InRange(c, 0xFDF0, 0xFFFD) || InRange(c, 0x10000, 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  return IsNameStartChar(c) || InRange(c, U'0', U'9') || c == U'-' || c == U'.' || c == 0xB7 ||
         InRange(c, 0x300, 0x36F) || InRange(c, 0x203F, 0x2040);
}

}  // namespace

bool IsXmlChar(char32_t c) noexcept {
  if (c < 0x20) return c == U'\t' || c == U'\n' || c == U'\r';
  return c < 0xD800 || InRange(c, 0xE000, 0xFFFD) || InRange(c, 0x10000, 0x10FFFF);
}

#if defined(__SSE2__)
namespace {

// Whether the eight units at `units` all lie in 0x20..0xD7FF, the common case. SSE2 compares
// signed: flipping the top bit maps the unsigned order onto the signed one.
bool EightPlain(const char16_t* units) noexcept {
  const __m128i flipped = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(units)),
                                        _mm_set1_epi16(static_cast<short>(0x8000)));
  const __m128i outside =
      _mm_or_si128(_mm_cmplt_epi16(flipped, _mm_set1_epi16(static_cast<short>(0x20 ^ 0x8000))),
                   _mm_cmpgt_epi16(flipped, _mm_set1_epi16(static_cast<short>(0xD7FF ^ 0x8000))));
  return _mm_movemask_epi8(outside) == 0;
}

}  // namespace
#endif

bool IsXmlText(std::u16string_view text) noexcept {
  std::size_t position = 0;
  while (position < text.size()) {
#if defined(__SSE2__)
    if (text.size() - position >= 8) {
      if (EightPlain(text.data() + position)) {
        position += 8;
        // The last few units as the last eight, overlapping what passed already: no unit by
        // unit tail for a text of eight units or more.
        if (text.size() - position < 8 && position < text.size() &&
            EightPlain(text.data() + text.size() - 8)) {
          return true;
        }
        continue;
      }
    }
#endif
    const char16_t unit = text[position];
    if (unit >= 0x20 && unit < 0xD800) {
      ++position;  // the common case, kept cheap
      continue;
    }
    const DecodedCodePoint c = ReadUtf16(text.data(), text.size(), position);
    if (!c.valid || !IsXmlChar(c.value)) return false;
  }
  return true;
}

bool CopyXmlText(std::string_view utf8, char* out) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t length = utf8.size();
  std::size_t position = 0;
  while (position < length) {
    // Many bytes at a time while they are printable ASCII, the common case.
#if defined(__SSE2__)
    // As signed bytes, those at or above 0x80 are negative: one comparison finds them and the
    // control characters alike.
    if (length - position >= 16) {
      PrefetchAhead(bytes + position);
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + position));
      if (_mm_movemask_epi8(_mm_cmplt_epi8(chunk, _mm_set1_epi8(0x20))) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + position), chunk);
        position += 16;
        continue;
      }
    }
#endif
    // A byte below 0x20 borrows into its high bit, one at or above 0x80 has it already.
    if (length - position >= 8) {
      constexpr std::uint64_t kEachByte = 0x0101010101010101u;
      constexpr std::uint64_t kHighBits = 0x8080808080808080u;
      std::uint64_t word;
      std::memcpy(&word, bytes + position, sizeof word);
      if ((((word - 0x20 * kEachByte) | word) & kHighBits) == 0) {
        std::memcpy(out + position, &word, sizeof word);
        position += 8;
        continue;
      }
    }
    const std::size_t start = position;
    const DecodedCodePoint c = ReadUtf8(bytes, length, position);
    if (!c.valid || !IsXmlChar(c.value)) return false;
    std::memcpy(out + start, bytes + start, position - start);
  }
  return true;
}

// No early exit, so that the compiler can take the bytes many at a time.
bool IsAscii(std::string_view text) noexcept {
  unsigned char high = 0;
  for (const char c : text) high |= static_cast<unsigned char>(c);
  return high < 0x80;
}

// Replies' texts are mostly shorter than the compiler's vector loop pays for: eight bytes at a
// time, the last eight overlapping those before when the length is not a multiple.
void WidenAscii(std::string_view ascii, char16_t* out) noexcept {
  const std::size_t length = ascii.size();
#if defined(__SSE2__)
  if (length >= 8) {
    const auto widen8 = [&](std::size_t at) {
      const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(ascii.data() + at));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at),
                       _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
    };
    for (std::size_t at = 0; at + 8 <= length; at += 8) widen8(at);
    widen8(length - 8);
    return;
  }
#endif
  for (std::size_t at = 0; at < length; ++at) out[at] = static_cast<unsigned char>(ascii[at]);
}

bool IsXmlSpace(std::string_view text) noexcept {
  for (const char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

bool IsXmlName(std::u16string_view name) noexcept {
  if (name.empty() || name.front() == u':' || name.back() == u':') return false;
  std::size_t position = 0;
  int colons = 0;
  while (position < name.size()) {
    const bool first = position == 0;
    char32_t c = name[position];
    if (c < 0x80) {
      ++position;  // nearly every name is ASCII: no decoding
    } else {
      const DecodedCodePoint decoded = ReadUtf16(name.data(), name.size(), position);
      if (!decoded.valid) return false;
      c = decoded.value;
    }
    if (!(first ? IsNameStartChar(c) : IsNameChar(c))) return false;
    if (c == U':' && ++colons > 1) return false;
  }
  return true;
}

bool IsXmlName(const Name& name) noexcept {
  if (name.checkedXmlName.load(std::memory_order_relaxed)) return true;
  if (!IsXmlName(name.View())) return false;
  name.checkedXmlName.store(true, std::memory_order_relaxed);
  return true;
}

std::u16string_view LocalPart(std::u16string_view qualifiedName) noexcept {
  const std::size_t colon = qualifiedName.find(u':');
  return colon == std::u16string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

}  // namespace quenlo::platform::dom
