#include "xml/element_lookup.h"

#include "xml/dom_name.h"

namespace {

// Every element with that tag below element; empty on any failure. The list is read in order
// and never asked for its length, so finding the first match walks only as far as it.
ComPtr<IXMLDOMNodeList> ElementsByTag(IXMLDOMElement* element, const OLECHAR* tag) {
  if (element == nullptr) return nullptr;
  const DomName name(tag);
  ComPtr<IXMLDOMNodeList> list;
  if (FAILED(element->getElementsByTagName(name.Get(), list.Put()))) return nullptr;
  return list;
}

// The element at index; empty past the end and on failure, which `failed` tells apart.
ComPtr<IXMLDOMElement> ElementAt(IXMLDOMNodeList* list, long index, bool& failed) {
  ComPtr<IXMLDOMNode> node;
  const HRESULT status = list->get_item(index, node.Put());
  failed = FAILED(status);
  if (failed || !node) return nullptr;
  ComPtr<IXMLDOMElement> element = node.As<IXMLDOMElement>();
  failed = !element;
  return element;
}

}  // namespace

ComPtr<IXMLDOMElement> FindElement(IXMLDOMElement* element, const OLECHAR* tag) {
  try {
    const ComPtr<IXMLDOMNodeList> list = ElementsByTag(element, tag);
    if (!list) return nullptr;
    bool failed = false;
    return ElementAt(list.Get(), 0, failed);
  } catch (...) {
    return nullptr;
  }
}

bool FindElements(IXMLDOMElement* element, const OLECHAR* tag,
                  std::vector<ComPtr<IXMLDOMElement>>& found) {
  try {
    const ComPtr<IXMLDOMNodeList> list = ElementsByTag(element, tag);
    if (!list) return false;
    for (long index = 0;; ++index) {
      bool failed = false;
      ComPtr<IXMLDOMElement> match = ElementAt(list.Get(), index, failed);
      if (failed) return false;
      if (!match) return index > 0;
      found.push_back(std::move(match));
    }
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
