#include "xml/attribute_reader.h"

#include "xml/dom_name.h"

namespace {

HRESULT GetAttributeValue(IXMLDOMElement* element, const OLECHAR* name, Variant& value) {
  if (element == nullptr) return E_POINTER;
  const DomName attributeName(name);
  return element->getAttribute(attributeName.Get(), value.Put());
}

}  // namespace

bool ReadAttribute(IXMLDOMElement* element, const OLECHAR* name, Variant& value) {
  return SUCCEEDED(GetAttributeValue(element, name, value));
}

std::optional<WideString> FindAttributeText(IXMLDOMElement* element, const OLECHAR* name) {
  Variant value;
  const HRESULT status = GetAttributeValue(element, name, value);
  if (FAILED(status)) throw _com_error(status);
  if (value.IsNull()) return std::nullopt;
  return WideString::FromVariant(value.Get());
}

WideString GetAttributeText(IXMLDOMElement* element, const OLECHAR* name) {
  Variant value;
  const HRESULT status = GetAttributeValue(element, name, value);
  if (FAILED(status)) throw _com_error(status);
  return WideString::FromVariant(value.Get());
}
