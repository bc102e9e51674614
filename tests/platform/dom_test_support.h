// Small helpers for the DOM tests: owning references, one-line element creation and reading.
#pragma once

#include <gtest/gtest.h>
#include <platform/msxml.h>
#include <platform/xml_parser.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "component/reference_count.h"
#include "component/variant.h"
#include "owned_bstr.h"

namespace quenlo {

template <class T>
struct ReleaseReference {
  void operator()(T* object) const { object->Release(); }
};
// Owns one reference.
template <class T>
using Ref = std::unique_ptr<T, ReleaseReference<T>>;

inline Ref<IXMLDOMDocument> NewDocument() {
  void* document = nullptr;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument,
                                   &document));
  return Ref<IXMLDOMDocument>(static_cast<IXMLDOMDocument*>(document));
}

inline Ref<IXMLDOMElement> NewElement(IXMLDOMDocument* document, std::u16string_view tag) {
  IXMLDOMElement* element = nullptr;
  EXPECT_EQ(S_OK, document->createElement(MakeBstr(tag).get(), &element));
  return Ref<IXMLDOMElement>(element);
}

inline HRESULT SetAttribute(IXMLDOMElement* element, std::u16string_view name,
                            std::u16string_view value) {
  const OwnedBstr text = MakeBstr(value);
  VARIANT variant;
  VariantInit(&variant);
  variant.vt = VT_BSTR;
  variant.bstrVal = text.get();
  return element->setAttribute(MakeBstr(name).get(), variant);
}

// The attribute's value, or nothing when getAttribute reports it absent.
inline std::optional<std::u16string> AttributeOf(IXMLDOMElement* element,
                                                 std::u16string_view name) {
  Variant value;
  const HRESULT hr = element->getAttribute(MakeBstr(name).get(), value.Put());
  if (hr == S_FALSE) {
    EXPECT_EQ(VT_NULL, value.Get().vt);
    return std::nullopt;
  }
  EXPECT_EQ(S_OK, hr);
  EXPECT_EQ(VT_BSTR, value.Get().vt);
  return std::u16string(ViewOf(value.Get().bstrVal));
}

inline void Append(IXMLDOMNode* parent, IXMLDOMNode* child) {
  ASSERT_EQ(S_OK, parent->appendChild(child, nullptr));
}

// The text a getter hands out, copied and freed.
template <class Node>
std::u16string TextFrom(Node* node, HRESULT (STDMETHODCALLTYPE Node::*get)(BSTR*)) {
  BSTR text = nullptr;
  EXPECT_EQ(S_OK, (node->*get)(&text));
  const OwnedBstr owned(text);
  return std::u16string(ViewOf(text));
}
inline std::u16string Xml(IXMLDOMNode* node) { return TextFrom(node, &IXMLDOMNode::get_xml); }
inline std::u16string TextOf(IXMLDOMNode* node) { return TextFrom(node, &IXMLDOMNode::get_text); }
inline std::u16string TagOf(IXMLDOMElement* element) {
  return TextFrom(element, &IXMLDOMElement::get_tagName);
}

inline std::optional<std::u16string> NamespaceOf(IXMLDOMNode* node) {
  BSTR uri = nullptr;
  const HRESULT hr = node->get_namespaceURI(&uri);
  const OwnedBstr owned(uri);
  if (hr == S_FALSE) {
    EXPECT_EQ(nullptr, uri);
    return std::nullopt;
  }
  EXPECT_EQ(S_OK, hr);
  return std::u16string(ViewOf(uri));
}

inline Ref<IXMLDOMElement> Parse(std::string_view utf8) {
  IXMLDOMElement* root = nullptr;
  const XmlParseResult result = XmlParseElement(utf8, &root);
  EXPECT_EQ(XmlParseStatus::Ok, result.status) << result.message;
  return Ref<IXMLDOMElement>(root);
}

inline Ref<IXMLDOMElement> AsElement(IXMLDOMNode* node) {
  void* element = nullptr;
  EXPECT_EQ(S_OK, node->QueryInterface(IID_IXMLDOMElement, &element));
  return Ref<IXMLDOMElement>(static_cast<IXMLDOMElement*>(element));
}

// The elements of a lookup, in the list's order.
inline std::vector<Ref<IXMLDOMElement>> ElementsByTag(IXMLDOMElement* root,
                                                      std::u16string_view tag) {
  IXMLDOMNodeList* list = nullptr;
  EXPECT_EQ(S_OK, root->getElementsByTagName(MakeBstr(tag).get(), &list));
  const Ref<IXMLDOMNodeList> owned(list);
  long length = 0;
  EXPECT_EQ(S_OK, list->get_length(&length));
  std::vector<Ref<IXMLDOMElement>> elements;
  for (long index = 0; index < length; ++index) {
    IXMLDOMNode* node = nullptr;
    EXPECT_EQ(S_OK, list->get_item(index, &node));
    const Ref<IXMLDOMNode> ownedNode(node);
    elements.push_back(AsElement(node));
  }
  return elements;
}

}  // namespace quenlo
