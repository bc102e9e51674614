// Owning wrapper of one VARIANT: cleared (its string freed, its object released) when the
// wrapper goes, on every path.
#pragma once

#include "component/ole_text.h"
#include "component/unique_handle.h"

namespace quenlo {

struct VariantTraits {
  using Handle = VARIANT;
  // What VariantInit makes (VT_EMPTY), without a platform call for every move.
  static VARIANT Empty() noexcept { return VARIANT{}; }
  // An empty variant holds nothing to clear, and most wrappers end empty (moved from, detached,
  // never filled): those cost no platform call.
  static void Release(VARIANT& value) noexcept {
    if (value.vt != VT_EMPTY) VariantClear(&value);
  }
};

class Variant : public UniqueHandle<VariantTraits> {
 public:
  Variant() noexcept = default;

  // A string variant holding a copy of the text. Throws _com_error(E_OUTOFMEMORY).
  static Variant FromText(OleStringView text);

  // The value made a string by the platform's variant conversion (a string value is copied).
  // Throws _com_error with the conversion's status: a null value, for one, does not convert.
  static Variant TextOf(const VARIANT& value);

  bool IsNull() const noexcept { return Get().vt == VT_NULL; }
};

}  // namespace quenlo
