#include "text_node.h"

#include "dom_strings.h"
#include "xml_chars.h"

namespace quenlo::platform::dom {

TextNode* TextNode::Create(std::shared_ptr<DocumentLink> link, std::u16string data) {
  return new TextNode(std::move(link), std::move(data));
}

TextNode::TextNode(std::shared_ptr<DocumentLink> link, std::u16string data) noexcept
    : NodeObject(NODE_TEXT, std::move(link)), data_(std::move(data)) {}

HRESULT TextNode::GetNodeName(BSTR* name) { return CopyToBstr(u"#text", name); }

HRESULT TextNode::GetNodeValue(VARIANT* value) { return CopyToVariant(data_, value); }

HRESULT TextNode::PutText(BSTR text) {
  const std::u16string_view data = ViewOf(text);
  if (!IsXmlText(data)) return E_INVALIDARG;
  data_.assign(data);
  return S_OK;
}

}  // namespace quenlo::platform::dom
