#include "voting/reply_fields.h"

#include "component/bstr.h"
#include "session/integer_text.h"
#include "xml/element_lookup.h"

HRESULT ReadTextField(IXMLDOMElement* element, const OLECHAR* tag, BSTR* text) {
  if (text == nullptr) return E_POINTER;
  Bstr found;
  if (!GetElementText(element, tag, found)) return S_FALSE;
  *text = found.Detach();
  return S_OK;
}

HRESULT ReadTruthField(IXMLDOMElement* element, const OLECHAR* tag, LONG* value) {
  if (value == nullptr) return E_POINTER;
  Bstr found;
  if (!GetElementText(element, tag, found)) return S_FALSE;
  if (EqualsIgnoringAsciiCase(found.View(), OLESTR("true"))) {
    *value = 1;
  } else if (EqualsIgnoringAsciiCase(found.View(), OLESTR("false"))) {
    *value = 0;
  }
  return S_OK;
}

HRESULT ReadIntegerField(IXMLDOMElement* element, const OLECHAR* tag, LONG* value) {
  if (value == nullptr) return E_POINTER;
  Bstr found;
  if (!GetElementText(element, tag, found)) return S_FALSE;
  *value = ParseIntegerText(found.View());
  return S_OK;
}
