#include "xml/attribute_reader.h"

#include "xml/dom_name.h"

namespace {

HRESULT GetAttributeValue(IXMLDOMElement* element, const OLECHAR* name, Variant& value) {
  if (element == nullptr) return E_POINTER;
  const DomName attributeName(name);
  return element->getAttribute(attributeName.Get(), value.Put());
}

// The value as a string of its own; a value that does not convert raises the conversion's status.
Bstr TextOf(const Variant& value) {
  if (value.Get().vt == VT_BSTR) {
    const BSTR text = value.Get().bstrVal;
    return Bstr::Copy(text == nullptr ? OleStringView{} : OleStringView{text, SysStringLen(text)});
  }
  Variant converted;
  // Some SDK headers declare the source without const; it is only read.
  const HRESULT status =
      VariantChangeType(converted.Put(), const_cast<VARIANT*>(&value.Get()), 0, VT_BSTR);
  if (FAILED(status)) throw _com_error(status);
  return TextOf(converted);
}

}  // namespace

bool ReadAttribute(IXMLDOMElement* element, const OLECHAR* name, Variant& value) {
  return SUCCEEDED(GetAttributeValue(element, name, value));
}

std::optional<Bstr> FindAttributeText(IXMLDOMElement* element, const OLECHAR* name) {
  Variant value;
  const HRESULT status = GetAttributeValue(element, name, value);
  if (FAILED(status)) throw _com_error(status);
  if (value.IsNull()) return std::nullopt;
  return TextOf(value);
}
