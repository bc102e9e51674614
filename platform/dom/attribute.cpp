#include "attribute.h"

#include "dom_strings.h"
#include "serializer.h"
#include "xml_chars.h"

namespace quenlo::platform::dom {

AttributeNode* AttributeNode::Create(std::shared_ptr<DocumentLink> link, std::u16string name,
                                     std::u16string value) {
  return new AttributeNode(std::move(link), std::move(name), std::move(value));
}

AttributeNode::AttributeNode(std::shared_ptr<DocumentLink> link, std::u16string name,
                             std::u16string value) noexcept
    : NodeObject(NODE_ATTRIBUTE, std::move(link)),
      name_(std::move(name)),
      value_(std::move(value)) {}

HRESULT AttributeNode::get_name(BSTR* name) { return CopyToBstr(name_, name); }

HRESULT AttributeNode::get_value(VARIANT* value) { return GetNodeValue(value); }

HRESULT AttributeNode::GetNodeName(BSTR* name) { return CopyToBstr(name_, name); }

HRESULT AttributeNode::GetNodeValue(VARIANT* value) { return CopyToVariant(value_, value); }

HRESULT AttributeNode::GetText(BSTR* text) { return CopyToBstr(value_, text); }

HRESULT AttributeNode::PutText(BSTR) { return E_FAIL; }

HRESULT AttributeNode::GetXml(BSTR* xml) {
  if (xml == nullptr) return E_INVALIDARG;
  std::u16string out = name_ + u"=\"";
  AppendEscapedAttributeValue(value_, out);
  out.push_back(u'"');
  return CopyToBstr(out, xml);
}

HRESULT AttributeNode::GetBaseName(BSTR* name) { return CopyToBstr(LocalPart(name_), name); }

}  // namespace quenlo::platform::dom
