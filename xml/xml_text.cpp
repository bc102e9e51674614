#include "xml/xml_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenlo::confext {

namespace {

bool IsHighSurrogate(OLECHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(OLECHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Whether the eight units at `units` all lie in 0x20..0xD7FF, where nearly every unit of a
// request lies. SSE2 compares signed: flipping the top bit maps the unsigned order onto it.
bool EightPlainUnits(const OLECHAR* units) noexcept {
#if defined(__SSE2__)
  static_assert(sizeof(OLECHAR) == 2);
  const __m128i flipped = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(units)),
                                        _mm_set1_epi16(static_cast<short>(0x8000)));
  const __m128i outside =
      _mm_or_si128(_mm_cmplt_epi16(flipped, _mm_set1_epi16(static_cast<short>(0x20 ^ 0x8000))),
                   _mm_cmpgt_epi16(flipped, _mm_set1_epi16(static_cast<short>(0xD7FF ^ 0x8000))));
  return _mm_movemask_epi8(outside) == 0;
#else
  (void)units;
  return false;
#endif
}

}  // namespace

bool IsXmlText(OleStringView text) noexcept {
  for (std::size_t position = 0; position < text.size(); ++position) {
    while (text.size() - position >= 8 && EightPlainUnits(text.data() + position)) position += 8;
    if (position == text.size()) break;
    const OLECHAR unit = text[position];
    if (unit >= 0x20 && unit < 0xD800) continue;                 // nearly every unit: checked first
    if (unit == 0x09 || unit == 0x0A || unit == 0x0D) continue;  // tab, LF, CR
    if (IsHighSurrogate(unit) && position + 1 < text.size() && IsLowSurrogate(text[position + 1])) {
      ++position;  // a pair stands for a character outside the basic plane, which XML allows
      continue;
    }
    if (unit >= 0xE000 && unit <= 0xFFFD) continue;
    return false;
  }
  return true;
}

}  // namespace quenlo::confext
