#include "node_list.h"

namespace quenlo::platform::dom {

NodeList* NodeList::Create(std::vector<Node*> nodes) { return new NodeList(std::move(nodes)); }

NodeList::NodeList(std::vector<Node*> nodes) noexcept : nodes_(std::move(nodes)) {
  for (Node* node : nodes_) node->AddReference();
}

NodeList::~NodeList() {
  for (Node* node : nodes_) node->ReleaseReference();
}

HRESULT NodeList::get_item(long index, IXMLDOMNode** item) {
  if (index < 0 || static_cast<std::size_t>(index) >= nodes_.size()) return HandOut(nullptr, item);
  return HandOut(nodes_[static_cast<std::size_t>(index)], item);
}

HRESULT NodeList::get_length(long* length) {
  if (length == nullptr) return E_INVALIDARG;
  *length = static_cast<long>(nodes_.size());
  return S_OK;
}

HRESULT NodeList::nextNode(IXMLDOMNode** next) {
  if (next == nullptr) return E_INVALIDARG;
  if (cursor_ >= nodes_.size()) return HandOut(nullptr, next);
  return HandOut(nodes_[cursor_++], next);
}

HRESULT NodeList::reset() {
  cursor_ = 0;
  return S_OK;
}

}  // namespace quenlo::platform::dom
