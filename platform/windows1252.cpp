#include "windows1252.h"

#include <array>

namespace quenlo::platform {
namespace {

// 0x80-0x9F hold typographic characters in place of the C1 controls; the five bytes the code
// page leaves unassigned keep their C1 control so that every byte survives a round trip.
constexpr std::array<char16_t, 32> kHighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};
constexpr unsigned char kHighControlFirst = 0x80;
constexpr unsigned char kHighControlLast = 0x9F;

}  // namespace

char16_t Windows1252ToUtf16(unsigned char byte) {
  if (byte >= kHighControlFirst && byte <= kHighControlLast) {
    return kHighControlRange[byte - kHighControlFirst];
  }
  return byte;
}

std::optional<unsigned char> Utf16ToWindows1252(char16_t unit) {
  const bool latin1 = unit <= 0xFF;
  const bool c1Control = unit >= kHighControlFirst && unit <= kHighControlLast;
  if (latin1 && !c1Control) return static_cast<unsigned char>(unit);
  for (std::size_t index = 0; index < kHighControlRange.size(); ++index) {
    if (kHighControlRange[index] == unit) {
      return static_cast<unsigned char>(kHighControlFirst + index);
    }
  }
  return std::nullopt;
}

}  // namespace quenlo::platform
