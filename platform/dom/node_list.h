// A snapshot list of nodes: an element's children as they were when asked for.
#pragma once

#include <vector>

#include "node.h"

namespace quenlo::platform::dom {

class NodeList final : public ComObject<IXMLDOMNodeList, IID_IXMLDOMNodeList> {
 public:
  // Takes a reference to each node; the list comes with one reference for the caller.
  static NodeList* Create(std::vector<Node*> nodes);

  HRESULT STDMETHODCALLTYPE get_item(long index, IXMLDOMNode** item) override;
  HRESULT STDMETHODCALLTYPE get_length(long* length) override;
  HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** next) override;
  HRESULT STDMETHODCALLTYPE reset() override;

 private:
  explicit NodeList(std::vector<Node*> nodes) noexcept;
  ~NodeList() override;

  std::vector<Node*> nodes_;
  std::size_t cursor_ = 0;
};

}  // namespace quenlo::platform::dom
