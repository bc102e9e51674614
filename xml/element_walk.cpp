#include "xml/element_walk.h"

#include <array>

#include "component/bstr.h"

namespace quenlo::confext {
namespace {

constexpr std::size_t kDeepestWalked = 8;

// Whether the node is an element named exactly tag ("*": any element), its name then in name.
// The type is asked first: it costs msxml no string, and every text node of a reply is passed
// over by it alone.
bool IsElementNamed(IXMLDOMNode* node, OleStringView tag, Bstr& name, bool& failed) noexcept {
  DOMNodeType type = NODE_INVALID;
  failed = FAILED(node->get_nodeType(&type)) ||
           (type == NODE_ELEMENT && FAILED(node->get_nodeName(name.Put())));
  return !failed && type == NODE_ELEMENT && (tag == kEveryElement.View() || name.View() == tag);
}

}  // namespace

WalkOutcome WalkForElements(IXMLDOMElement* element, OleStringView tag, int nodes,
                            const ElementVisitor& visit) {
  if (nodes <= 0) return WalkOutcome::kUndecided;
  // The nodes whose later siblings are still to be walked, from the element down.
  std::array<ComPtr<IXMLDOMNode>, kDeepestWalked> open;
  std::size_t depth = 0;
  ComPtr<IXMLDOMNode> node;
  if (FAILED(element->get_firstChild(node.Put()))) return WalkOutcome::kUndecided;
  Bstr name;
  for (int walked = 0; node; ++walked) {
    if (walked == nodes) return WalkOutcome::kUndecided;
    bool failed = false;
    if (IsElementNamed(node.Get(), tag, name, failed) && !visit(node, name.View())) {
      return WalkOutcome::kSettled;
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
