// An attribute as a node, handed out by an element's attribute map. It is a snapshot of the
// name and value at the time it was asked for, and cannot be changed through; change
// attributes through the element.
#pragma once

#include <string>

#include "node_object.h"

namespace quenlo::platform::dom {

class AttributeNode final : public NodeObject<IXMLDOMAttribute, IID_IXMLDOMAttribute> {
 public:
  static AttributeNode* Create(NodeStore& store, std::u16string_view name,
                               std::u16string_view value);

  HRESULT STDMETHODCALLTYPE get_name(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE get_value(VARIANT* value) override;

  HRESULT GetNodeName(BSTR* name) override;
  HRESULT GetNodeValue(VARIANT* value) override;
  HRESULT GetText(BSTR* text) override;
  HRESULT PutText(BSTR text) override;
  HRESULT GetXml(BSTR* xml) override;
  HRESULT GetBaseName(BSTR* name) override;

 private:
  AttributeNode(NodeStore& store, std::u16string name, std::u16string value) noexcept;

  std::u16string name_;
  std::u16string value_;
};

}  // namespace quenlo::platform::dom
