// An element: a qualified tag name, attributes in insertion order, and the namespace URI that
// the parser resolved for it (elements made by createElement have none).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "node_object.h"

namespace quenlo::platform::dom {

struct AttributeEntry {
  std::u16string name;
  std::u16string value;
};

using NamespaceUri = std::shared_ptr<const std::u16string>;  // shared by the elements in its scope

class Element final : public NodeObject<IXMLDOMElement, IID_IXMLDOMElement> {
 public:
  // With one reference for the caller. The tag must be a valid XML name.
  static Element* Create(std::shared_ptr<DocumentLink> link, std::u16string tag,
                         NamespaceUri namespaceUri);

  const std::u16string& Tag() const noexcept { return tag_; }
  const std::vector<AttributeEntry>& Attributes() const noexcept { return attributes_; }
  const AttributeEntry* FindAttribute(std::u16string_view name) const noexcept;
  // For the parser, which has already refused duplicates and text XML cannot carry.
  void AppendAttribute(std::u16string name, std::u16string value);
  void ReserveAttributes(std::size_t count) { attributes_.reserve(count); }

  HRESULT STDMETHODCALLTYPE get_tagName(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value) override;
  HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name) override;
  HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR name, IXMLDOMNodeList** list) override;

  HRESULT GetNodeName(BSTR* name) override;
  HRESULT GetAttributes(IXMLDOMNamedNodeMap** attributes) override;
  HRESULT PutText(BSTR text) override;
  HRESULT GetNamespaceUri(BSTR* uri) override;
  HRESULT GetBaseName(BSTR* name) override;

 private:
  Element(std::shared_ptr<DocumentLink> link, std::u16string tag, std::uint32_t tagHash,
          NamespaceUri namespaceUri);

  bool Accepts(const Node& child) const noexcept override;
  HRESULT SetAttribute(std::u16string_view name, const VARIANT& value);

  std::u16string tag_;
  NamespaceUri namespaceUri_;
  std::vector<AttributeEntry> attributes_;
};

}  // namespace quenlo::platform::dom
