#include "xml/element_lookup.h"

namespace {

// Every element with that tag below element, with the list's length; empty on any failure.
ComPtr<IXMLDOMNodeList> ElementsByTag(IXMLDOMElement* element, const OLECHAR* tag, long& length) {
  if (element == nullptr) return nullptr;
  const Bstr name = Bstr::Copy(ViewOf(tag));
  ComPtr<IXMLDOMNodeList> list;
  if (FAILED(element->getElementsByTagName(name.Get(), list.Put())) || !list ||
      FAILED(list->get_length(&length))) {
    return nullptr;
  }
  return list;
}

ComPtr<IXMLDOMElement> ElementAt(IXMLDOMNodeList* list, long index) {
  ComPtr<IXMLDOMNode> node;
  if (FAILED(list->get_item(index, node.Put()))) return nullptr;
  return node.As<IXMLDOMElement>();
}

}  // namespace

ComPtr<IXMLDOMElement> FindElement(IXMLDOMElement* element, const OLECHAR* tag) {
  try {
    long length = 0;
    const ComPtr<IXMLDOMNodeList> list = ElementsByTag(element, tag, length);
    if (!list || length < 1) return nullptr;
    return ElementAt(list.Get(), 0);
  } catch (...) {
    return nullptr;
  }
}

bool FindElements(IXMLDOMElement* element, const OLECHAR* tag,
                  std::vector<ComPtr<IXMLDOMElement>>& found) {
  try {
    long length = 0;
    const ComPtr<IXMLDOMNodeList> list = ElementsByTag(element, tag, length);
    if (!list) return false;
    for (long index = 0; index < length; ++index) {
      ComPtr<IXMLDOMElement> match = ElementAt(list.Get(), index);
      if (!match) return false;
      found.push_back(std::move(match));
    }
    return length > 0;
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
