// Host code written for Windows, where LONG is long, declares a count either way. Here LONG is 32
// bits and long may be 64, so each interface whose output is one of them also takes the other
// (an overload that is no virtual slot, so the interfaces' layout does not change). The value
// passes through a variable of the type the call writes.
#pragma once

#include <platform/hresult.h>
#include <platform/types.h>

#include <limits>
#include <type_traits>

namespace quenlo::platform {

// Enables an overload only for `long`: a null pointer literal, whose type deduces to nothing,
// then still goes to the interface's own slot (and its E_POINTER).
template <class Long>
using IfLong = std::enable_if_t<std::is_same_v<Long, long>, int>;
template <class Long>
using IfLONG = std::enable_if_t<std::is_same_v<Long, LONG>, int>;

// Which outputs a call wrote: those of a call that answered S_OK, or those that no longer hold
// -1, a value the call never writes there (a truth value, a number of votes).
enum class LongWritten { kOnSuccess, kChanged };

// read(LONG*) hands its output to the caller's long when it wrote it.
template <LongWritten rule, class Read>
HRESULT ReadIntoLong(long* target, Read&& read) {
  LONG value = -1;
  const HRESULT status = read(target != nullptr ? &value : nullptr);
  const bool written = rule == LongWritten::kOnSuccess ? status == S_OK : value != -1;
  if (target != nullptr && written) *target = value;
  return status;
}

// read(long*) hands a successful output to the caller's LONG, held to LONG's range.
template <class Read>
HRESULT ReadIntoLONG(LONG* target, Read&& read) {
  long value = 0;
  const HRESULT status = read(target != nullptr ? &value : nullptr);
  if (target != nullptr && SUCCEEDED(status)) {
    constexpr long kLeast = std::numeric_limits<LONG>::min();
    constexpr long kMost = std::numeric_limits<LONG>::max();
    *target = static_cast<LONG>(value < kLeast ? kLeast : value > kMost ? kMost : value);
  }
  return status;
}

}  // namespace quenlo::platform
