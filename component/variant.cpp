#include "component/variant.h"

#include "component/bstr.h"

namespace quenlo {

Variant Variant::FromText(OleStringView text) {
  VARIANT value = VariantTraits::Empty();
  value.bstrVal = Bstr::Copy(text).Detach();
  value.vt = VT_BSTR;
  Variant variant;
  variant.Reset(value);
  return variant;
}

Variant Variant::TextOf(const VARIANT& value) {
  Variant converted;
  // Some SDK headers declare the source without const; it is only read.
  const HRESULT status =
      VariantChangeType(converted.Put(), const_cast<VARIANT*>(&value), 0, VT_BSTR);
  if (FAILED(status)) throw _com_error(status);
  return converted;
}

}  // namespace quenlo
