#include "xml/element_lookup.h"

#include "xml/element_cursor.h"

namespace quenlo::confext {

ComPtr<IXMLDOMElement> FindElement(IXMLDOMElement* element, const OLECHAR* tag) {
  return ElementCursor(element, tag).Next();
}

bool FindElements(IXMLDOMElement* element, const OLECHAR* tag,
                  std::vector<ComPtr<IXMLDOMElement>>& found) {
  try {
    ElementCursor matches(element, tag);
    while (ComPtr<IXMLDOMElement> match = matches.Next()) found.push_back(std::move(match));
    return !matches.Failed() && matches.Count() > 0;
  } catch (...) {
    return false;
  }
}

bool GetElementText(IXMLDOMElement* element, const OLECHAR* tag, Bstr& text) {
  const ComPtr<IXMLDOMElement> match = FindElement(element, tag);
  return match && SUCCEEDED(match->get_text(text.Put()));
}

bool GetNamespace(IXMLDOMNode* node, Bstr& uri) {
  return node != nullptr && SUCCEEDED(node->get_namespaceURI(uri.Put()));
}

}  // namespace quenlo::confext
