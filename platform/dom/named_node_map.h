// An element's attributes as nodes, looked up by name or position when asked for.
#pragma once

#include "node.h"

namespace quenlo::platform::dom {

class Element;

class NamedNodeMap final : public ComObject<IXMLDOMNamedNodeMap, IID_IXMLDOMNamedNodeMap> {
 public:
  // Holds a reference to the element; comes with one reference for the caller.
  static NamedNodeMap* Create(Element& element);

  HRESULT STDMETHODCALLTYPE getNamedItem(BSTR name, IXMLDOMNode** item) override;
  HRESULT STDMETHODCALLTYPE get_item(long index, IXMLDOMNode** item) override;
  HRESULT STDMETHODCALLTYPE get_length(long* length) override;

 private:
  explicit NamedNodeMap(Element& element) noexcept;
  ~NamedNodeMap() override;

  HRESULT HandOutAttribute(std::size_t index, IXMLDOMNode** item) noexcept;

  Element& element_;
};

}  // namespace quenlo::platform::dom
