// COM object creation for the runtime's one creatable class, the XML document.
#include <platform/com.h>
#include <platform/msxml.h>

#include <array>
#include <string_view>

#include "document.h"

namespace {

// The ProgIDs under which the document is registered on the real platform.
constexpr std::array<std::u16string_view, 3> kDocumentProgIds = {
    u"Microsoft.XMLDOM", u"Microsoft.XMLDOM.1.0", u"MSXML.DOMDocument"};

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

// ProgIDs are registry keys, which compare without regard to case.
bool SameProgId(const OLECHAR* given, std::u16string_view known) {
  for (const char16_t c : known) {
    if (*given == 0 || FoldAscii(*given) != FoldAscii(c)) return false;
    ++given;
  }
  return *given == 0;
}

}  // namespace

extern "C" {

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
  if (clsid == nullptr) return E_INVALIDARG;
  *clsid = CLSID{};
  if (progId == nullptr) return CO_E_CLASSSTRING;
  for (const std::u16string_view known : kDocumentProgIds) {
    if (SameProgId(progId, known)) {
      *clsid = CLSID_DOMDocument;
      return S_OK;
    }
  }
  return CO_E_CLASSSTRING;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_DOMDocument) return REGDB_E_CLASSNOTREG;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  IXMLDOMDocument* document = nullptr;
  try {
    document = quenlo::platform::dom::Document::Create();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = document->QueryInterface(riid, object);
  document->Release();
  return hr;
}

HRESULT CoInitialize(void*) { return S_OK; }

void CoUninitialize() {}

}  // extern "C"
