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
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      VariantClear(&value_);
      value_ = other.value_;
      VariantInit(&other.value_);
    }
    return *this;
  }
  ~Variant() { VariantClear(&value_); }

  // A string variant holding a copy of the text. Throws _com_error(E_OUTOFMEMORY).
  static Variant FromText(OleStringView text);

  // The value made a string by the platform's variant conversion (a string value is copied).
  // Throws _com_error with the conversion's status: a null value, for one, does not convert.
  static Variant TextOf(const VARIANT& value);

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
