#include "xml/element_cursor.h"

#include "component/ole_text.h"
#include "xml/dom_name.h"

namespace quenlo::confext {

ElementCursor::ElementCursor(IXMLDOMElement* element, FixedName tag, int nodesWalked) noexcept
    : tag_(tag) {
  if (element == nullptr) return;
  // An element without children has no matches: asking costs no list. Should the DOM fail to
  // answer, the lookup goes ahead and reports what it finds.
  VARIANT_BOOL hasChildren = VARIANT_TRUE;
  if (SUCCEEDED(element->hasChildNodes(&hasChildren)) && hasChildren == VARIANT_FALSE) return;
  try {
    const DomName name(tag);
    if (nodesWalked > 0) {
      const auto keep = [this](ComPtr<IXMLDOMNode> match, OleStringView) {
        walked_.push_back(std::move(match));
        return true;
      };
      // Settled: the matches are all in walked_, and with no list the cursor ends after them.
      if (WalkForElements(element, tag.View(), nodesWalked, keep) == WalkOutcome::kSettled) {
        return;
      }
      walked_.clear();
    }
    const HRESULT listed = element->getElementsByTagName(name.Get(), list_.Put());
    if (FAILED(listed)) Fail(listed);
  } catch (...) {
    Fail(E_OUTOFMEMORY);  // the name could not be made
  }
}

ComPtr<IXMLDOMElement> ElementCursor::Next() noexcept {
  const ComPtr<IXMLDOMNode> node = NextNode();
  if (!node) return nullptr;
  ComPtr<IXMLDOMElement> element = node.As<IXMLDOMElement>();
  if (!element) {  // a node typed as an element without the element's interface
    --index_;
    Fail(E_NOINTERFACE);
  }
  return element;
}

ComPtr<IXMLDOMNode> ElementCursor::NextNode() noexcept {
  if (nextWalked_ < walked_.size()) {
    ++index_;
    return std::move(walked_[nextWalked_++]);
  }
  return NextListed();
}

ComPtr<IXMLDOMNode> ElementCursor::NextListed() noexcept {
  for (;;) {
    if (!list_) return nullptr;
    ComPtr<IXMLDOMNode> node;
    const HRESULT status = list_->get_item(position_, node.Put());
    HRESULT failure = FAILED(status) ? status : S_OK;
    DOMNodeType type = NODE_INVALID;
    if (SUCCEEDED(failure) && node) {
      const HRESULT typed = node->get_nodeType(&type);
      failure = FAILED(typed) ? typed : type != NODE_ELEMENT ? E_UNEXPECTED : S_OK;
    }
    if (FAILED(failure)) {
      Fail(failure);
      return nullptr;
    }
    if (!node) {
      list_ = nullptr;  // the end: later calls answer the same without the DOM
      return nullptr;
    }
    ++position_;
    if (!HasTag(node.Get())) continue;
    ++index_;
    return node;
  }
}

void ElementCursor::Fail(HRESULT failure) noexcept {
  failure_ = failure;
  nextWalked_ = walked_.size();
  list_ = nullptr;  // later calls answer the same without the DOM
}

#ifdef _WIN32
// msxml also finds an element whose local name is the tag under a prefix (<v:query xmlns:v=...>
// for "query"); the POSIX DOM matches the whole name only. Keeping exact matches alone makes a
// packet read the same on both. kEveryElement names every element, whatever its prefix.
bool ElementCursor::HasTag(IXMLDOMNode* element) noexcept {
  if (tag_.View() == kEveryElement.View()) return true;
  BSTR name = nullptr;
  const bool same =
      SUCCEEDED(element->get_nodeName(&name)) && name != nullptr && ViewOfBstr(name) == tag_.View();
  SysFreeString(name);
  return same;
}
#else
bool ElementCursor::HasTag(IXMLDOMNode*) noexcept { return true; }
#endif

}  // namespace quenlo::confext
