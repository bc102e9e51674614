#include "component/variant.h"

#include "component/bstr.h"

Variant Variant::FromText(OleStringView text) {
  VARIANT value = VariantTraits::Empty();
  value.bstrVal = Bstr::Copy(text).Detach();
  value.vt = VT_BSTR;
  Variant variant;
  variant.Reset(value);
  return variant;
}
