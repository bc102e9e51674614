#include "element_list.h"

#include <new>

#include "../small_blocks.h"
#include "document_link.h"
#include "dom_strings.h"
#include "element.h"
#include "prefetch.h"
#include "tree_walk.h"

namespace quenlo::platform::dom {

void* ElementList::operator new(std::size_t size) {
  void* memory = small_blocks::Take(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void ElementList::operator delete(void* memory, std::size_t size) noexcept {
  small_blocks::Give(memory, size);
}

ElementList* ElementList::Create(Node& root, std::u16string_view tagName) {
  return new ElementList(root, tagName);
}

ElementList::ElementList(Node& root, std::u16string_view tagName)
    : root_(root),
      tagName_(tagName),
      everyElement_(tagName == u"*"),
      tagHash_(TagSummary::HashOf(tagName)),
      generation_(Node::ShapeGeneration()) {
  root_.AddReference();
}

ElementList::~ElementList() { root_.ReleaseReference(); }

Node* ElementList::NextMatch(const Node* node) const noexcept {
  if (node == nullptr && !everyElement_ && !root_.Link().Tags().MayHold(tagHash_)) return nullptr;
  const std::uint16_t wantedHash = static_cast<std::uint16_t>(tagHash_);
  Node* next = node == nullptr ? (root_.MayHoldElements() ? root_.FirstChild() : nullptr)
                               : NextElementOrSiblingInSubtree(root_, *node);
  for (; next != nullptr; next = NextElementOrSiblingInSubtree(root_, *next)) {
    PrefetchAhead(next);
    if (next->Type() != NODE_ELEMENT) continue;
    if (everyElement_) return next;
    if (next->TagHash() == wantedHash &&
        SameName(static_cast<const Element*>(next)->Tag(), tagName_)) {
      return next;
    }
  }
  return nullptr;
}

void ElementList::Revalidate() noexcept {
  const std::uint64_t now = Node::ShapeGeneration();
  if (now == generation_) return;
  generation_ = now;
  cursor_ = nullptr;
  cursorIndex_ = -1;
  length_ = -1;
}

Node* ElementList::MatchAt(long index) noexcept {
  Revalidate();
  if (index < 0 || (length_ >= 0 && index >= length_)) return nullptr;
  if (index < cursorIndex_) {  // behind the remembered position: walk again from the start
    cursor_ = nullptr;
    cursorIndex_ = -1;
  }
  while (cursorIndex_ < index) {
    Node* next = NextMatch(cursor_);
    if (next == nullptr) {
      length_ = cursorIndex_ + 1;
      return nullptr;
    }
    cursor_ = next;
    ++cursorIndex_;
  }
  return cursor_;
}

HRESULT ElementList::get_item(long index, IXMLDOMNode** item) {
  if (item == nullptr) return E_INVALIDARG;
  return HandOut(MatchAt(index), item);
}

HRESULT ElementList::get_length(long* length) {
  if (length == nullptr) return E_INVALIDARG;
  Revalidate();
  if (length_ < 0) {
    long count = cursorIndex_ + 1;
    for (const Node* match = NextMatch(cursor_); match != nullptr; match = NextMatch(match)) {
      ++count;
    }
    length_ = count;
  }
  *length = length_;
  return S_OK;
}

HRESULT ElementList::nextNode(IXMLDOMNode** next) {
  if (next == nullptr) return E_INVALIDARG;
  Node* match = MatchAt(nextIndex_);
  if (match != nullptr) ++nextIndex_;
  return HandOut(match, next);
}

HRESULT ElementList::reset() {
  nextIndex_ = 0;
  return S_OK;
}

}  // namespace quenlo::platform::dom
