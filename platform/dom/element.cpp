#include "element.h"

#include <mutex>
#include <new>

#include "document_link.h"
#include "dom_strings.h"
#include "element_list.h"
#include "named_node_map.h"
#include "node_store.h"
#include "text_node.h"
#include "xml_chars.h"

namespace quenlo::platform::dom {
namespace {

// Releases a converted variant however the conversion ends.
class VariantHolder {
 public:
  VariantHolder() noexcept { VariantInit(&variant_); }
  ~VariantHolder() { VariantClear(&variant_); }
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
  VARIANT* get() noexcept { return &variant_; }

 private:
  VARIANT variant_;
};

}  // namespace

Element* Element::Create(NodeStore& store, bool inBlock, const Name* tag, const Name* namespaceUri,
                         AttributeList attributes) {
  void* memory = Memory(store, inBlock, sizeof(Element), alignof(Element));
  return new (memory) Element(store, inBlock, tag, namespaceUri, std::move(attributes));
}

Element::Element(NodeStore& store, bool inBlock, const Name* tag, const Name* namespaceUri,
                 AttributeList attributes) noexcept
    : NodeObject(NODE_ELEMENT, store, inBlock, tag->hash),
      tag_(tag),
      namespaceUri_(namespaceUri),
      attributes_(std::move(attributes)) {}

void Element::SetLeafText(std::u16string_view storeText) noexcept {
  // The builder keeps a longer text as a node (TreeBuilder::AddText).
  leafText_ = StoredText::InBlock(storeText);
}

bool Element::MakeLeafTextNode(bool inBlock) {
  if (!HasLeafText()) return false;
  // A parse's tree is its own; any other caller may share the element with other threads,
  // which then meet here and find the node the first one made.
  std::unique_lock<std::mutex> lock;
  if (!inBlock) {
    static std::mutex making;
    lock = std::unique_lock(making);
  }
  if (FirstChild() != nullptr) return false;
  // Text the element owns goes when its children change, while its node may live on: the node
  // takes a copy.
  AdoptLastChild(leafText_.OwnsMemory()
                     ? TextNode::Create(Store(), LeafText())
                     : TextNode::CreateOverStoreText(Store(), inBlock, LeafText()));
  return true;
}

bool Element::Accepts(const Node& child) const noexcept {
  return child.Type() == NODE_ELEMENT || child.Type() == NODE_TEXT;
}

HRESULT Element::get_tagName(BSTR* name) { return CopyToBstr(Tag(), name); }

HRESULT Element::GetNodeName(BSTR* name) { return CopyToBstr(Tag(), name); }

HRESULT Element::getAttribute(BSTR name, VARIANT* value) {
  if (value == nullptr) return E_INVALIDARG;
  VariantInit(value);
  const AttributeEntry* attribute = FindAttribute(ViewOf(name));
  if (attribute == nullptr) {
    value->vt = VT_NULL;
    return S_FALSE;
  }
  return CopyToVariant(attribute->value.View(), value);
}

HRESULT Element::setAttribute(BSTR name, VARIANT value) {
  return Guarded([&] { return SetAttribute(ViewOf(name), value); });
}

HRESULT Element::SetAttribute(std::u16string_view name, const VARIANT& value) {
  const Name* interned = Store().Intern(name);
  if (!IsXmlName(*interned)) return E_INVALIDARG;
  VariantHolder converted;
  std::u16string_view text;
  if (value.vt == VT_BSTR) {
    text = ViewOf(value.bstrVal);
  } else {
    if (const HRESULT hr = VariantChangeType(converted.get(), &value, 0, VT_BSTR); FAILED(hr)) {
      return hr;
    }
    text = ViewOf(converted.get()->bstrVal);
  }
  if (!IsXmlText(text)) return E_INVALIDARG;
  attributes_.Set(interned, text);
  return S_OK;
}

HRESULT Element::removeAttribute(BSTR name) {
  return attributes_.Remove(ViewOf(name)) ? S_OK : S_FALSE;
}

HRESULT Element::getElementsByTagName(BSTR name, IXMLDOMNodeList** list) {
  if (list == nullptr) return E_INVALIDARG;
  return Guarded([&] {
    *list = ElementList::Create(*this, ViewOf(name));
    return S_OK;
  });
}

HRESULT Element::GetAttributes(IXMLDOMNamedNodeMap** attributes) {
  if (attributes == nullptr) return E_INVALIDARG;
  *attributes = NamedNodeMap::Create(*this);
  return S_OK;
}

HRESULT Element::PutText(BSTR text) {
  const std::u16string_view data = ViewOf(text);
  if (!IsXmlText(data)) return E_INVALIDARG;
  // Kept as leaf text, its node made only if asked for: a request's elements are written and
  // serialised, never walked. Copied before the old children go, so that a failed allocation
  // changes nothing.
  StoredText copy = StoredText::Copy(data);
  RemoveChildren();
  leafText_ = std::move(copy);
  return S_OK;
}

HRESULT Element::GetNamespaceUri(BSTR* uri) {
  if (namespaceUri_ == nullptr) return NoBstr(uri);
  return CopyToBstr(namespaceUri_->View(), uri);
}

HRESULT Element::GetBaseName(BSTR* name) { return CopyToBstr(LocalPart(Tag()), name); }

}  // namespace quenlo::platform::dom
