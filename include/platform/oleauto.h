// Automation strings (BSTR) and variants.
#pragma once

#include <platform/com.h>

// A BSTR points at zero-terminated UTF-16 text preceded by its length in bytes; it may hold
// zero units inside. A null BSTR stands for the empty string everywhere.
extern "C" {
PLATFORM_API BSTR SysAllocString(const OLECHAR* text);
PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Makes *text hold `length` units copied from source (which may lie inside *text), in the string's
// own memory when it is large enough; a null source keeps what the memory holds. A null *text
// gets a new string. Nonzero on success; on failure *text is left as it was.
PLATFORM_API INT SysReAllocStringLen(BSTR* text, const OLECHAR* source, UINT length);
PLATFORM_API UINT SysStringLen(BSTR text);
PLATFORM_API UINT SysStringByteLen(BSTR text);
PLATFORM_API void SysFreeString(BSTR text);
}

using VARTYPE = std::uint16_t;
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    ULONGLONG ullVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    SHORT iVal;
    USHORT uiVal;
    CHAR cVal;
    BYTE bVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    BSTR bstrVal;
    IUnknown* punkVal;
  };
};
using VARIANTARG = VARIANT;

// VariantChangeType flags. VARIANT_ALPHABOOL writes a boolean as "True"/"False" instead of
// "-1"/"0"; VARIANT_NOVALUEPROP is accepted and has nothing to act on here.
constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
constexpr USHORT VARIANT_ALPHABOOL = 0x2;

extern "C" {
PLATFORM_API void VariantInit(VARIANT* variant);
PLATFORM_API HRESULT VariantClear(VARIANT* variant);
PLATFORM_API HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);
// Converts between the scalar types, VT_BSTR and VT_EMPTY. VT_NULL converts to nothing
// (DISP_E_TYPEMISMATCH), as on the real platform. destination may equal source.
PLATFORM_API HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, USHORT flags,
                                       VARTYPE type);
}
