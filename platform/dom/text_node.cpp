#include "text_node.h"

#include <new>

#include "dom_strings.h"
#include "xml_chars.h"

namespace quenlo::platform::dom {

TextNode* TextNode::Create(NodeStore& store, std::u16string_view data) {
  StoredText copy = StoredText::Copy(data);
  void* memory = Memory(store, false, sizeof(TextNode), alignof(TextNode));
  return new (memory) TextNode(store, false, std::move(copy));
}

TextNode* TextNode::CreateOverStoreText(NodeStore& store, bool inBlock,
                                        std::u16string_view storeText) {
  StoredText text = StoredText::InBlock(storeText);
  void* memory = Memory(store, inBlock, sizeof(TextNode), alignof(TextNode));
  return new (memory) TextNode(store, inBlock, std::move(text));
}

TextNode::TextNode(NodeStore& store, bool inBlock, StoredText data) noexcept
    : NodeObject(NODE_TEXT, store, inBlock), data_(std::move(data)) {}

HRESULT TextNode::GetNodeName(BSTR* name) { return CopyToBstr(u"#text", name); }

HRESULT TextNode::GetNodeValue(VARIANT* value) { return CopyToVariant(data_.View(), value); }

HRESULT TextNode::PutText(BSTR text) {
  const std::u16string_view data = ViewOf(text);
  if (!IsXmlText(data)) return E_INVALIDARG;
  data_ = StoredText::Copy(data);
  return S_OK;
}

}  // namespace quenlo::platform::dom
