// A run of character data.
#pragma once

#include <string>

#include "node_object.h"

namespace quenlo::platform::dom {

class TextNode final : public NodeObject<IXMLDOMText, IID_IXMLDOMText> {
 public:
  // With one reference for the caller. The data must be text XML can carry.
  static TextNode* Create(std::shared_ptr<DocumentLink> link, std::u16string data);

  std::u16string_view TextData() const noexcept override { return data_; }

  HRESULT GetNodeName(BSTR* name) override;
  HRESULT GetNodeValue(VARIANT* value) override;
  HRESULT PutText(BSTR text) override;

 private:
  TextNode(std::shared_ptr<DocumentLink> link, std::u16string data) noexcept;

  std::u16string data_;
};

}  // namespace quenlo::platform::dom
