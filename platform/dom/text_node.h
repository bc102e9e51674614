// A run of character data.
#pragma once

#include <string_view>

#include "node_object.h"
#include "stored_text.h"

namespace quenlo::platform::dom {

class TextNode final : public NodeObject<IXMLDOMText, IID_IXMLDOMText> {
 public:
  // With one reference for the caller, holding a heap copy of the data, which must be text XML
  // can carry.
  static TextNode* Create(NodeStore& store, std::u16string_view data);
  // Over data in the store's blocks, which the node keeps alive through its store; the node
  // itself in the blocks too for a parse (inBlock, see Node::Memory), on the heap otherwise.
  static TextNode* CreateOverStoreText(NodeStore& store, bool inBlock,
                                       std::u16string_view storeText);

  std::u16string_view TextData() const noexcept override { return data_.View(); }

  bool OwnsMemory() const noexcept override { return data_.OwnsMemory(); }
  HRESULT GetNodeName(BSTR* name) override;
  HRESULT GetNodeValue(VARIANT* value) override;
  HRESULT PutText(BSTR text) override;

 private:
  TextNode(NodeStore& store, bool inBlock, StoredText data) noexcept;

  StoredText data_;
};

}  // namespace quenlo::platform::dom
