#include "component/ole_text.h"

#include <algorithm>

namespace quenlo {

namespace {

OLECHAR FoldAsciiLetter(OLECHAR unit) noexcept {
  if (unit >= OLECHAR{'A'} && unit <= OLECHAR{'Z'}) {
    return static_cast<OLECHAR>(unit - OLECHAR{'A'} + OLECHAR{'a'});
  }
  return unit;
}

}  // namespace

bool EqualsIgnoringAsciiCase(OleStringView left, OleStringView right) noexcept {
  return std::ranges::equal(
      left, right, [](OLECHAR a, OLECHAR b) { return FoldAsciiLetter(a) == FoldAsciiLetter(b); });
}

}  // namespace quenlo
