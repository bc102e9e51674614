// Variant lifetime and conversion. Every operation builds its result apart and replaces the
// destination only once nothing can fail any more, so a failed call leaves it as it was.
#include <platform/oleauto.h>

#include "variant_conversion.h"

using quenlo::platform::ConvertVariant;
using quenlo::platform::DuplicateVariant;
using quenlo::platform::IsSupportedType;

namespace {

// Replaces the destination's value with one already built; on failure the new value is freed.
HRESULT Commit(VARIANT* destination, VARIANT& value) {
  if (const HRESULT hr = VariantClear(destination); FAILED(hr)) {
    VariantClear(&value);
    return hr;
  }
  *destination = value;
  return S_OK;
}

}  // namespace

extern "C" {

void VariantInit(VARIANT* variant) {
  if (variant != nullptr) *variant = VARIANT{};
}

HRESULT VariantClear(VARIANT* variant) {
  if (variant == nullptr) return E_INVALIDARG;
  if (!IsSupportedType(variant->vt)) return DISP_E_BADVARTYPE;
  if (variant->vt == VT_BSTR) {
    SysFreeString(variant->bstrVal);
  } else if ((variant->vt == VT_UNKNOWN || variant->vt == VT_DISPATCH) &&
             variant->punkVal != nullptr) {
    variant->punkVal->Release();
  }
  VariantInit(variant);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (destination == source) return S_OK;
  VARIANT copy{};
  if (const HRESULT hr = DuplicateVariant(*source, copy); FAILED(hr)) return hr;
  return Commit(destination, copy);
}

HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, USHORT flags, VARTYPE type) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (destination == source && source->vt == type && IsSupportedType(type)) return S_OK;
  VARIANT converted{};
  if (const HRESULT hr = ConvertVariant(*source, flags, type, converted); FAILED(hr)) return hr;
  return Commit(destination, converted);
}

}  // extern "C"
