#include "xml/element_walk.h"

#include <array>

#include "component/bstr.h"

namespace quenlo::confext {
namespace {

constexpr std::size_t kDeepestWalked = 8;

// Whether the node is an element named exactly tag. The type is asked first: it costs msxml no
// string, and every other text node of a reply is passed over by it alone.
bool IsElementNamed(IXMLDOMNode* node, OleStringView tag, bool& failed) noexcept {
  DOMNodeType type = NODE_INVALID;
  Bstr name;
  failed = FAILED(node->get_nodeType(&type)) ||
           (type == NODE_ELEMENT && FAILED(node->get_nodeName(name.Put())));
  return !failed && type == NODE_ELEMENT && name.View() == tag;
}

}  // namespace

WalkOutcome WalkForElements(IXMLDOMElement* element, OleStringView tag, int nodes,
                            const MatchTaker& take) {
  if (nodes <= 0) return WalkOutcome::kUndecided;
  // The nodes whose later siblings are still to be walked, from the element down.
  std::array<ComPtr<IXMLDOMNode>, kDeepestWalked> open;
  std::size_t depth = 0;
  ComPtr<IXMLDOMNode> node;
  if (FAILED(element->get_firstChild(node.Put()))) return WalkOutcome::kUndecided;
  for (int walked = 0; node; ++walked) {
    if (walked == nodes) return WalkOutcome::kUndecided;
    bool failed = false;
    if (IsElementNamed(node.Get(), tag, failed)) {
      ComPtr<IXMLDOMElement> match = node.As<IXMLDOMElement>();
      if (!match) return WalkOutcome::kUndecided;
      if (!take(std::move(match))) return WalkOutcome::kSettled;
    }
    ComPtr<IXMLDOMNode> next;
    if (failed || FAILED(node->get_firstChild(next.Put()))) return WalkOutcome::kUndecided;
    if (next) {
      if (depth == open.size()) return WalkOutcome::kUndecided;
      open[depth++] = std::move(node);
    } else {
      // No children: on to the next sibling, or to the next sibling of the nearest open node.
      for (;;) {
        if (FAILED(node->get_nextSibling(next.Put()))) return WalkOutcome::kUndecided;
        if (next || depth == 0) break;
        node = std::move(open[--depth]);
      }
    }
    node = std::move(next);
  }
  return WalkOutcome::kSettled;
}

}  // namespace quenlo::confext
