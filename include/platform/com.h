// COM basics: interface identifiers, IUnknown, IClassFactory, object creation and _com_error.
#pragma once

#include <platform/export.h>
#include <platform/hresult.h>
#include <platform/types.h>

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPCLSID = CLSID*;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
constexpr bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// COM interfaces carry no virtual destructor: objects are destroyed by their own Release.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 0x17;

extern "C" {
// Knows the ProgIDs of the runtime's own classes ("Microsoft.XMLDOM" and its versioned
// names); anything else gives CO_E_CLASSSTRING and a zeroed identifier.
PLATFORM_API HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);
// Creates the runtime's own classes; an unknown class gives REGDB_E_CLASSNOTREG, an outer
// object CLASS_E_NOAGGREGATION, an interface the object lacks E_NOINTERFACE.
PLATFORM_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                                      void** object);
// Present so that hosts read the same on every platform; nothing needs initialising here.
PLATFORM_API HRESULT CoInitialize(void* reserved);
PLATFORM_API void CoUninitialize();
}

// The error object that the module raises for out-of-memory and failed conversions.
class _com_error {
 public:
  explicit _com_error(HRESULT hr) noexcept : hr_(hr) {}
  HRESULT Error() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};
