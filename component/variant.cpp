#include "component/variant.h"

#include "component/bstr.h"

Variant Variant::FromText(OleStringView text) {
  Variant variant;
  variant.value_.bstrVal = Bstr::Copy(text).Detach();
  variant.value_.vt = VT_BSTR;
  return variant;
}
