#include "voting/attribute_text.h"

#include "session/wide_string.h"

OleString AttributeText(const Variant& value) {
  const VARIANT& raw = value.Get();
  if (raw.vt == VT_BSTR) {
    return raw.bstrVal == nullptr ? OleString{} : OleString(raw.bstrVal, SysStringLen(raw.bstrVal));
  }
  return OleString(WideString::FromVariant(raw).View());
}
