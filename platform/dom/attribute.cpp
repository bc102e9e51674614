#include "attribute.h"

#include <new>
#include <utility>

#include "dom_strings.h"
#include "serializer.h"
#include "xml_chars.h"

namespace quenlo::platform::dom {

AttributeNode* AttributeNode::Create(NodeStore& store, std::u16string_view name,
                                     std::u16string_view value) {
  std::u16string nameCopy(name);
  std::u16string valueCopy(value);
  void* memory = Memory(store, false, sizeof(AttributeNode), alignof(AttributeNode));
  return new (memory) AttributeNode(store, std::move(nameCopy), std::move(valueCopy));
}

AttributeNode::AttributeNode(NodeStore& store, std::u16string name, std::u16string value) noexcept
    : NodeObject(NODE_ATTRIBUTE, store, false), name_(std::move(name)), value_(std::move(value)) {}

HRESULT AttributeNode::get_name(BSTR* name) { return CopyToBstr(name_, name); }

HRESULT AttributeNode::get_value(VARIANT* value) { return GetNodeValue(value); }

HRESULT AttributeNode::GetNodeName(BSTR* name) { return CopyToBstr(name_, name); }

HRESULT AttributeNode::GetNodeValue(VARIANT* value) { return CopyToVariant(value_, value); }

HRESULT AttributeNode::GetText(BSTR* text) { return CopyToBstr(value_, text); }

HRESULT AttributeNode::PutText(BSTR) { return E_FAIL; }

HRESULT AttributeNode::GetXml(BSTR* xml) { return AttributeXmlOf(name_, value_, xml); }

HRESULT AttributeNode::GetBaseName(BSTR* name) { return CopyToBstr(LocalPart(name_), name); }

}  // namespace quenlo::platform::dom
