#include "element.h"

#include <algorithm>

#include "document_link.h"
#include "dom_strings.h"
#include "element_list.h"
#include "named_node_map.h"
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

Element* Element::Create(std::shared_ptr<DocumentLink> link, std::u16string tag,
                         NamespaceUri namespaceUri) {
  const std::uint32_t tagHash = TagSummary::HashOf(tag);
  link->Tags().NoteTag(tagHash);
  return new Element(std::move(link), std::move(tag), tagHash, std::move(namespaceUri));
}

Element::Element(std::shared_ptr<DocumentLink> link, std::u16string tag, std::uint32_t tagHash,
                 NamespaceUri namespaceUri)
    : NodeObject(NODE_ELEMENT, std::move(link), tagHash),
      tag_(std::move(tag)),
      namespaceUri_(std::move(namespaceUri)) {}

const AttributeEntry* Element::FindAttribute(std::u16string_view name) const noexcept {
  const auto found =
      std::find_if(attributes_.begin(), attributes_.end(),
                   [name](const AttributeEntry& entry) { return entry.name == name; });
  return found != attributes_.end() ? &*found : nullptr;
}

void Element::AppendAttribute(std::u16string name, std::u16string value) {
  attributes_.push_back({std::move(name), std::move(value)});
}

bool Element::Accepts(const Node& child) const noexcept {
  return child.Type() == NODE_ELEMENT || child.Type() == NODE_TEXT;
}

HRESULT Element::get_tagName(BSTR* name) { return CopyToBstr(tag_, name); }

HRESULT Element::GetNodeName(BSTR* name) { return CopyToBstr(tag_, name); }

HRESULT Element::getAttribute(BSTR name, VARIANT* value) {
  if (value == nullptr) return E_INVALIDARG;
  VariantInit(value);
  const AttributeEntry* attribute = FindAttribute(ViewOf(name));
  if (attribute == nullptr) {
    value->vt = VT_NULL;
    return S_FALSE;
  }
  return CopyToVariant(attribute->value, value);
}

HRESULT Element::setAttribute(BSTR name, VARIANT value) {
  return Guarded([&] { return SetAttribute(ViewOf(name), value); });
}

HRESULT Element::SetAttribute(std::u16string_view name, const VARIANT& value) {
  if (!IsXmlName(name)) return E_INVALIDARG;
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
  auto existing = std::find_if(attributes_.begin(), attributes_.end(),
                               [name](const AttributeEntry& entry) { return entry.name == name; });
  if (existing != attributes_.end()) {
    existing->value.assign(text);  // an existing attribute keeps its place
  } else {
    attributes_.push_back({std::u16string(name), std::u16string(text)});
  }
  return S_OK;
}

HRESULT Element::removeAttribute(BSTR name) {
  const std::u16string_view wanted = ViewOf(name);
  const auto found =
      std::find_if(attributes_.begin(), attributes_.end(),
                   [wanted](const AttributeEntry& entry) { return entry.name == wanted; });
  if (found == attributes_.end()) return S_FALSE;
  attributes_.erase(found);
  return S_OK;
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
  // Made before the old children go, so that a failed allocation changes nothing.
  TextNode* replacement = data.empty() ? nullptr : TextNode::Create(Link(), std::u16string(data));
  RemoveChildren();
  if (replacement != nullptr) {
    AdoptLastChild(replacement);
    NoteShapeChange();
  }
  return S_OK;
}

HRESULT Element::GetNamespaceUri(BSTR* uri) {
  if (namespaceUri_ == nullptr) return NoBstr(uri);
  return CopyToBstr(*namespaceUri_, uri);
}

HRESULT Element::GetBaseName(BSTR* name) { return CopyToBstr(LocalPart(tag_), name); }

}  // namespace quenlo::platform::dom
