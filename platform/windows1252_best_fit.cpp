#include "windows1252_best_fit.h"

#include <algorithm>
#include <iterator>

namespace quenlo::platform {
namespace {

struct BestFit {
  char16_t unit;
  unsigned char byte;
};

// Measured on the real platform by platform/tools/measure-best-fit, which remakes the table.
constexpr BestFit kBestFits[] = {
#include "windows1252_best_fit_table.inc"
};

constexpr bool kSortedByUnit = std::ranges::is_sorted(
    kBestFits, [](const BestFit& left, const BestFit& right) { return left.unit < right.unit; });
static_assert(kSortedByUnit, "the lookup is a binary search");

}  // namespace

std::optional<unsigned char> Windows1252BestFit(char16_t unit) {
  const auto found = std::ranges::lower_bound(kBestFits, unit, {}, &BestFit::unit);
  if (found == std::end(kBestFits) || found->unit != unit) return std::nullopt;
  return found->byte;
}

}  // namespace quenlo::platform
