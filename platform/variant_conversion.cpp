#include "variant_conversion.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "scalar_text.h"

namespace quenlo::platform {
namespace {

struct IntegerRange {
  LONGLONG min;
  ULONGLONG max;
};

template <typename T>
constexpr IntegerRange RangeOf() {
  return {std::numeric_limits<T>::min(), std::numeric_limits<T>::max()};
}

std::optional<IntegerRange> IntegerRangeOf(VARTYPE type) {
  switch (type) {
    case VT_I1:
      return RangeOf<std::int8_t>();
    case VT_UI1:
      return RangeOf<std::uint8_t>();
    case VT_I2:
      return RangeOf<std::int16_t>();
    case VT_UI2:
      return RangeOf<std::uint16_t>();
    case VT_I4:
    case VT_INT:
      return RangeOf<std::int32_t>();
    case VT_UI4:
    case VT_UINT:
      return RangeOf<std::uint32_t>();
    case VT_I8:
      return RangeOf<std::int64_t>();
    case VT_UI8:
      return RangeOf<std::uint64_t>();
    default:
      return std::nullopt;
  }
}

// Holds no value that text or numbers could become.
bool IsOpaque(VARTYPE type) {
  return type == VT_ERROR || type == VT_UNKNOWN || type == VT_DISPATCH;
}

Scalar ScalarOf(const VARIANT& source) {
  switch (source.vt) {
    case VT_BOOL:
      return LONGLONG{source.boolVal};
    case VT_I1:
      return LONGLONG{static_cast<signed char>(source.cVal)};
    case VT_UI1:
      return LONGLONG{source.bVal};
    case VT_I2:
      return LONGLONG{source.iVal};
    case VT_UI2:
      return LONGLONG{source.uiVal};
    case VT_I4:
      return LONGLONG{source.lVal};
    case VT_INT:
      return LONGLONG{source.intVal};
    case VT_UI4:
      return LONGLONG{source.ulVal};
    case VT_UINT:
      return LONGLONG{source.uintVal};
    case VT_I8:
      return source.llVal;
    case VT_UI8:
      return source.ullVal;
    case VT_R4:
      return double{source.fltVal};
    case VT_R8:
      return source.dblVal;
    default:
      return LONGLONG{0};  // VT_EMPTY reads as zero
  }
}

// Halves go to the even neighbour, as the platform's own number conversions round.
double RoundHalfToEven(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1;
  return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

// The two's-complement bits of the value when it fits the range.
HRESULT FitInteger(const Scalar& value, const IntegerRange& range, ULONGLONG& bits) {
  if (const auto* whole = std::get_if<LONGLONG>(&value)) {
    if (*whole < range.min || (*whole > 0 && static_cast<ULONGLONG>(*whole) > range.max)) {
      return DISP_E_OVERFLOW;
    }
    bits = static_cast<ULONGLONG>(*whole);
    return S_OK;
  }
  if (const auto* large = std::get_if<ULONGLONG>(&value)) {
    if (*large > range.max) return DISP_E_OVERFLOW;
    bits = *large;
    return S_OK;
  }
  const double rounded = RoundHalfToEven(std::get<double>(value));
  // Both bounds are exact in a double: the minimum is 0 or a negative power of two, and
  // max + 1 is a power of two (rounding the 64-bit maxima up lands exactly there).
  const auto lowest = static_cast<double>(range.min);
  const double beyondHighest = static_cast<double>(range.max) + 1;
  if (!(rounded >= lowest && rounded < beyondHighest)) return DISP_E_OVERFLOW;  // NaN too
  bits = rounded < 0 ? static_cast<ULONGLONG>(static_cast<LONGLONG>(rounded))
                     : static_cast<ULONGLONG>(rounded);
  return S_OK;
}

void StoreInteger(VARTYPE type, ULONGLONG bits, VARIANT& result) {
  result.vt = type;
  switch (type) {
    case VT_I1:
      result.cVal = static_cast<CHAR>(bits);
      break;
    case VT_UI1:
      result.bVal = static_cast<BYTE>(bits);
      break;
    case VT_I2:
      result.iVal = static_cast<SHORT>(bits);
      break;
    case VT_UI2:
      result.uiVal = static_cast<USHORT>(bits);
      break;
    case VT_I4:
      result.lVal = static_cast<LONG>(bits);
      break;
    case VT_INT:
      result.intVal = static_cast<INT>(bits);
      break;
    case VT_UI4:
      result.ulVal = static_cast<ULONG>(bits);
      break;
    case VT_UINT:
      result.uintVal = static_cast<UINT>(bits);
      break;
    case VT_I8:
      result.llVal = static_cast<LONGLONG>(bits);
      break;
    default:
      result.ullVal = bits;
      break;
  }
}

HRESULT ToInteger(const Scalar& value, VARTYPE target, VARIANT& result) {
  ULONGLONG bits = 0;
  if (const HRESULT hr = FitInteger(value, *IntegerRangeOf(target), bits); FAILED(hr)) return hr;
  StoreInteger(target, bits, result);
  return S_OK;
}

double ToDouble(const Scalar& value) {
  return std::visit([](auto number) { return static_cast<double>(number); }, value);
}

HRESULT ToReal(const Scalar& value, VARTYPE target, VARIANT& result) {
  const double real = ToDouble(value);
  if (target == VT_R8) {
    result.vt = VT_R8;
    result.dblVal = real;
    return S_OK;
  }
  if (std::isfinite(real) && std::fabs(real) > FLT_MAX) return DISP_E_OVERFLOW;
  result.vt = VT_R4;
  result.fltVal = static_cast<FLOAT>(real);
  return S_OK;
}

HRESULT StoreText(std::string_view ascii, VARIANT& result) {
  const BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(ascii.size()));
  if (text == nullptr) return E_OUTOFMEMORY;
  for (std::size_t index = 0; index < ascii.size(); ++index) text[index] = ascii[index];
  result.vt = VT_BSTR;
  result.bstrVal = text;
  return S_OK;
}

HRESULT ToText(const VARIANT& source, USHORT flags, VARIANT& result) {
  if (source.vt == VT_EMPTY) return StoreText("", result);
  if (source.vt == VT_BOOL && (flags & VARIANT_ALPHABOOL) != 0) {
    return StoreText(source.boolVal != VARIANT_FALSE ? "True" : "False", result);
  }
  // A float carries about 7 significant decimal digits and a double about 15: more would
  // print binary noise ("0.1" as "0.100000001490116").
  const int significantDigits = source.vt == VT_R4 ? 7 : 15;
  NumberTextBuffer buffer;
  return StoreText(FormatNumber(ScalarOf(source), significantDigits, buffer), result);
}

std::u16string_view TextOf(BSTR text) { return {text, SysStringLen(text)}; }

HRESULT FromText(BSTR text, VARTYPE target, VARIANT& result) {
  if (target == VT_BOOL) {
    if (const std::optional<bool> truth = ParseTruthWord(TextOf(text))) {
      result.vt = VT_BOOL;
      result.boolVal = *truth ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  Scalar value;
  if (const HRESULT hr = ParseNumber(TextOf(text), value); FAILED(hr)) return hr;
  if (target == VT_BOOL) {
    result.vt = VT_BOOL;
    result.boolVal = ToDouble(value) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  if (target == VT_R4 || target == VT_R8) return ToReal(value, target, result);
  return ToInteger(value, target, result);
}

HRESULT FromScalar(const VARIANT& source, VARTYPE target, VARIANT& result) {
  Scalar value = ScalarOf(source);
  if (target == VT_BOOL) {
    result.vt = VT_BOOL;
    result.boolVal = ToDouble(value) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  if (target == VT_R4 || target == VT_R8) return ToReal(value, target, result);
  const IntegerRange range = *IntegerRangeOf(target);
  if (source.vt == VT_BOOL && source.boolVal != VARIANT_FALSE && range.min == 0) {
    // True is all bits set, so an unsigned target takes its maximum rather than overflowing.
    value = range.max;
  }
  return ToInteger(value, target, result);
}

HRESULT QueryUnknown(IUnknown* object, VARIANT& result) {
  IUnknown* identity = nullptr;
  if (object != nullptr) {
    if (const HRESULT hr =
            object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
        FAILED(hr)) {
      return hr;
    }
  }
  result.vt = VT_UNKNOWN;
  result.punkVal = identity;
  return S_OK;
}

}  // namespace

bool IsSupportedType(VARTYPE type) {
  switch (type) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

HRESULT DuplicateVariant(const VARIANT& source, VARIANT& result) {
  if (!IsSupportedType(source.vt)) return DISP_E_BADVARTYPE;
  if (source.vt == VT_BSTR && source.bstrVal != nullptr) {
    const BSTR copy = SysAllocStringLen(source.bstrVal, SysStringLen(source.bstrVal));
    if (copy == nullptr) return E_OUTOFMEMORY;
    result = source;
    result.bstrVal = copy;
    return S_OK;
  }
  if ((source.vt == VT_UNKNOWN || source.vt == VT_DISPATCH) && source.punkVal != nullptr) {
    source.punkVal->AddRef();
  }
  result = source;
  return S_OK;
}

HRESULT ConvertVariant(const VARIANT& source, USHORT flags, VARTYPE target, VARIANT& result) {
  if (!IsSupportedType(source.vt) || !IsSupportedType(target)) return DISP_E_BADVARTYPE;
  if (source.vt == target) return DuplicateVariant(source, result);
  // A null value is the absence of a value: it does not become text, zero or even empty.
  if (source.vt == VT_NULL || target == VT_NULL) return DISP_E_TYPEMISMATCH;
  if (target == VT_EMPTY) {
    result.vt = VT_EMPTY;
    return S_OK;
  }
  if (source.vt == VT_DISPATCH && target == VT_UNKNOWN) return QueryUnknown(source.punkVal, result);
  if (IsOpaque(source.vt) || IsOpaque(target)) return DISP_E_TYPEMISMATCH;
  if (target == VT_BSTR) return ToText(source, flags, result);
  if (source.vt == VT_BSTR) return FromText(source.bstrVal, target, result);
  return FromScalar(source, target, result);
}

}  // namespace quenlo::platform
