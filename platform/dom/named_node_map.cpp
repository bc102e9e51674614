#include "named_node_map.h"

#include "attribute.h"
#include "dom_strings.h"
#include "element.h"

namespace quenlo::platform::dom {

NamedNodeMap* NamedNodeMap::Create(Element& element) { return new NamedNodeMap(element); }

NamedNodeMap::NamedNodeMap(Element& element) noexcept : element_(element) {
  element_.AddReference();
}

NamedNodeMap::~NamedNodeMap() { element_.ReleaseReference(); }

HRESULT NamedNodeMap::getNamedItem(BSTR name, IXMLDOMNode** item) {
  if (item == nullptr) return E_INVALIDARG;
  const auto& attributes = element_.Attributes();
  const AttributeEntry* found = element_.FindAttribute(ViewOf(name));
  if (found == nullptr) return HandOut(nullptr, item);
  return HandOutAttribute(static_cast<std::size_t>(found - attributes.data()), item);
}

HRESULT NamedNodeMap::get_item(long index, IXMLDOMNode** item) {
  if (item == nullptr) return E_INVALIDARG;
  if (index < 0 || static_cast<std::size_t>(index) >= element_.Attributes().size()) {
    return HandOut(nullptr, item);
  }
  return HandOutAttribute(static_cast<std::size_t>(index), item);
}

HRESULT NamedNodeMap::get_length(long* length) {
  if (length == nullptr) return E_INVALIDARG;
  *length = static_cast<long>(element_.Attributes().size());
  return S_OK;
}

HRESULT NamedNodeMap::HandOutAttribute(std::size_t index, IXMLDOMNode** item) noexcept {
  return Guarded([&] {
    const AttributeEntry& entry = element_.Attributes()[index];
    AttributeNode* attribute =
        AttributeNode::Create(element_.Store(), entry.name->View(), entry.value.View());
    *item = attribute->AsNode();  // the creation reference is the caller's
    return S_OK;
  });
}

}  // namespace quenlo::platform::dom
