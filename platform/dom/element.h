// An element: a qualified tag name, attributes in insertion order, and the namespace URI that
// the parser resolved for it (elements made by createElement have none).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "attribute_list.h"
#include "node_object.h"
#include "stored_text.h"

namespace quenlo::platform::dom {

class Element final : public NodeObject<IXMLDOMElement, IID_IXMLDOMElement> {
 public:
  // With one reference for the caller. The tag must be a valid XML name; the names are the
  // store's (namespaceUri null for none). inBlock: see Node::Memory.
  static Element* Create(NodeStore& store, bool inBlock, const Name* tag, const Name* namespaceUri,
                         AttributeList attributes = {});

  std::u16string_view Tag() const noexcept { return tag_->View(); }

  // A parse, and put_text, keep an element's text here, without a node, while the text is all
  // the element holds, as most of a reply's fields and a request's do: its node is made only
  // when a caller asks for the element's children, or a child is added, and from then on stands
  // in the tree like any other. The text is the element's content only while the element has no
  // child. Making the node changes nothing but the first-child link, so that a reader on another
  // thread finds the same text whether it sees the node or not; the text is dropped only when
  // the element's children change.
  bool HasLeafText() const noexcept { return LeafText().data() != nullptr; }
  std::u16string_view LeafText() const noexcept { return leafText_.View(); }
  std::u16string_view TextData() const noexcept override { return LeafText(); }
  // For a parse: `storeText` is in the store's blocks; the element has no children yet.
  void SetLeafText(std::u16string_view storeText) noexcept;
  // Gives the leaf text, if the element has no child yet, its text node: in the store's blocks
  // for a parse, on the heap otherwise (then under a lock, so that two threads asking at once
  // make one node). True when it made the node. Throws std::bad_alloc, changing nothing.
  bool MakeLeafTextNode(bool inBlock);
  void DropLeafText() noexcept { leafText_ = StoredText(); }
  std::span<const AttributeEntry> Attributes() const noexcept { return attributes_.Entries(); }
  const AttributeEntry* FindAttribute(std::u16string_view name) const noexcept {
    return attributes_.Find(name);
  }

  HRESULT STDMETHODCALLTYPE get_tagName(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value) override;
  HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name) override;
  HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR name, IXMLDOMNodeList** list) override;

  bool OwnsMemory() const noexcept override {
    return attributes_.OwnsMemory() || leafText_.OwnsMemory();
  }
  HRESULT GetNodeName(BSTR* name) override;
  HRESULT GetAttributes(IXMLDOMNamedNodeMap** attributes) override;
  HRESULT PutText(BSTR text) override;
  HRESULT GetNamespaceUri(BSTR* uri) override;
  HRESULT GetBaseName(BSTR* name) override;

 private:
  Element(NodeStore& store, bool inBlock, const Name* tag, const Name* namespaceUri,
          AttributeList attributes) noexcept;

  bool Accepts(const Node& child) const noexcept override;
  HRESULT SetAttribute(std::u16string_view name, const VARIANT& value);

  const Name* const tag_;
  const Name* const namespaceUri_;
  AttributeList attributes_;
  // In the store's blocks from a parse, the element's own from put_text; no data for none.
  StoredText leafText_;
};

}  // namespace quenlo::platform::dom
