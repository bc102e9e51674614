// The elements below a root with one tag name ("*" for all), in document order, found as they
// are asked for: reading the first match walks only as far as it, reading them in order costs
// one walk in all, and the length is counted once, on demand. The list is live, as msxml's is:
// it answers for the tree as it stands at each call. Like the rest of a document, one list is
// used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "node.h"

namespace quenlo::platform::dom {

class ElementList final : public ComObject<IXMLDOMNodeList, IID_IXMLDOMNodeList> {
 public:
  // Holds a reference to root (so the walk never meets a freed node); comes with one reference
  // for the caller.
  static ElementList* Create(Node& root, std::u16string_view tagName);

  // A reply is read with a list per field, made and dropped at once: freed lists are kept per
  // thread and reused (see small_blocks), instead of going back to the heap each time.
  static void* operator new(std::size_t size);
  static void operator delete(void* memory, std::size_t size) noexcept;

  HRESULT STDMETHODCALLTYPE get_item(long index, IXMLDOMNode** item) override;
  HRESULT STDMETHODCALLTYPE get_length(long* length) override;
  HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** next) override;
  HRESULT STDMETHODCALLTYPE reset() override;

 private:
  ElementList(Node& root, std::u16string_view tagName);
  ~ElementList() override;

  // The first match after `node` in document order (after none: the first of all), or null.
  Node* NextMatch(const Node* node) const noexcept;
  Node* MatchAt(long index) noexcept;
  // Forgets the remembered position and length once any tree has changed shape since.
  void Revalidate() noexcept;

  Node& root_;
  const std::u16string tagName_;
  const bool everyElement_;
  const std::uint32_t tagHash_;  // see TagSummary::HashOf
  std::uint64_t generation_;
  // The match at position cursorIndex_ (-1: none yet); valid only while generation_ holds.
  Node* cursor_ = nullptr;
  long cursorIndex_ = -1;
  long length_ = -1;    // -1 until counted
  long nextIndex_ = 0;  // where nextNode reads
};

}  // namespace quenlo::platform::dom
