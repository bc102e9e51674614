// The elements with one tag below an element (any depth, document order, exact case), read one
// at a time. A caller that works on each match as it comes finds its descendants still in the
// cache from the walk that just passed them, where collecting every match first would walk a
// large reply twice from memory. DOM failures end the sequence and never raise.
#pragma once

#include <cstddef>
#include <vector>

#include "component/com_ptr.h"
#include "xml/dom_name.h"
#include "xml/element_walk.h"

namespace quenlo::confext {

class ElementCursor {
 public:
  // element may be null: the sequence is then empty. A subtree of at most nodesWalked nodes is
  // read by a walk (element_walk.h) into a list of matches up front; a larger one from the DOM's
  // list as the matches are asked for.
  ElementCursor(IXMLDOMElement* element, FixedName tag, int nodesWalked = kNodesWalked) noexcept;

  // The next match; empty at the end and after a failure, which Failed() tells apart (Failure():
  // the DOM's status, E_OUTOFMEMORY where the module ran out of memory).
  ComPtr<IXMLDOMElement> Next() noexcept;
  // The same match as the node the DOM handed out, for a caller that reads only what every node
  // has (its text): an element still, told by its node type instead of by asking for the
  // element's interface, which costs a reference counted up and down.
  ComPtr<IXMLDOMNode> NextNode() noexcept;
  bool Failed() const noexcept { return FAILED(failure_); }
  HRESULT Failure() const noexcept { return failure_; }
  // How many matches Next and NextNode have handed out.
  long Count() const noexcept { return index_; }

 private:
  // The next match from the DOM's list.
  ComPtr<IXMLDOMNode> NextListed() noexcept;
  // Ends the sequence as failed.
  void Fail(HRESULT failure) noexcept;
  // Whether the element's tag name is exactly the one asked for (see the definition).
  bool HasTag(IXMLDOMNode* element) noexcept;

  ComPtr<IXMLDOMNodeList> list_;  // asked item by item, never for its length
  // Every match, when a walk settled them; list_ is then never made.
  std::vector<ComPtr<IXMLDOMNode>> walked_;
  std::size_t nextWalked_ = 0;
  [[maybe_unused]] FixedName tag_;  // read by HasTag on Windows only
  long position_ = 0;               // in the DOM's list
  long index_ = 0;                  // matches handed out
  HRESULT failure_ = S_OK;
};

}  // namespace quenlo::confext
