// Owning wrapper of one VARIANT: cleared (its string freed, its object released) when the
// wrapper goes, on every path.
#pragma once

#include "component/ole_text.h"

class Variant {
 public:
  Variant() noexcept { VariantInit(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  Variant& operator=(Variant&&) = delete;
  ~Variant() { VariantClear(&value_); }

  // A string variant holding a copy of the text. Throws _com_error(E_OUTOFMEMORY).
  static Variant FromText(OleStringView text);

  const VARIANT& Get() const noexcept { return value_; }
  // For out-parameters: clears the current value and hands out the slot to fill.
  VARIANT* Put() noexcept {
    VariantClear(&value_);
    return &value_;
  }
  bool IsNull() const noexcept { return value_.vt == VT_NULL; }

 private:
  VARIANT value_;
};
