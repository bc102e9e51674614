#include "xml/element_cursor.h"

#include "xml/dom_name.h"

ElementCursor::ElementCursor(IXMLDOMElement* element, const OLECHAR* tag) noexcept {
  if (element == nullptr) return;
  // An element without children has no matches: asking costs no list. Should the DOM fail to
  // answer, the lookup goes ahead and reports what it finds.
  VARIANT_BOOL hasChildren = VARIANT_TRUE;
  if (SUCCEEDED(element->hasChildNodes(&hasChildren)) && hasChildren == VARIANT_FALSE) return;
  try {
    const DomName name(tag);
    failed_ = FAILED(element->getElementsByTagName(name.Get(), list_.Put()));
  } catch (...) {
    failed_ = true;
  }
  if (failed_) list_ = nullptr;
}

ComPtr<IXMLDOMElement> ElementCursor::Next() noexcept {
  if (!list_) return nullptr;
  ComPtr<IXMLDOMNode> node;
  const HRESULT status = list_->get_item(index_, node.Put());
  ComPtr<IXMLDOMElement> element = SUCCEEDED(status) && node ? node.As<IXMLDOMElement>() : nullptr;
  failed_ = FAILED(status) || (node && !element);
  if (!element) {
    list_ = nullptr;  // the end, or a failure: later calls answer the same without the DOM
    return nullptr;
  }
  ++index_;
  return element;
}
