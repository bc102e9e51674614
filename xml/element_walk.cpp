#include "xml/element_walk.h"

#include <array>

#include "component/bstr.h"
#include "xml/element_cursor.h"

namespace quenlo::confext {
namespace {

constexpr std::size_t kDeepestWalked = 8;

// Whether the node is an element named exactly tag ("*": any element). The type is asked first:
// it costs msxml no string, and every other text node of a reply is passed over by it alone.
bool IsElementNamed(IXMLDOMNode* node, OleStringView tag, bool& failed) noexcept {
  const bool anyName = tag == kEveryElement.View();
  DOMNodeType type = NODE_INVALID;
  Bstr name;
  failed = FAILED(node->get_nodeType(&type)) ||
           (type == NODE_ELEMENT && !anyName && FAILED(node->get_nodeName(name.Put())));
  return !failed && type == NODE_ELEMENT && (anyName || name.View() == tag);
}

// The name visit is given with each element.
bool VisitNamed(ComPtr<IXMLDOMNode> element, const ElementVisitor& visit, bool& failed) {
  Bstr name;
  failed = FAILED(element->get_nodeName(name.Put()));
  return !failed && visit(std::move(element), name.View());
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

WalkOutcome VisitElements(IXMLDOMElement* element, int budget, bool walk,
                          const ElementVisitor& visit) {
  bool failed = false;
  if (walk) {
    const auto take = [&](ComPtr<IXMLDOMElement> match) {
      return VisitNamed(ComPtr<IXMLDOMNode>::Adopt(match.Detach()), visit, failed);
    };
    const WalkOutcome outcome = WalkForElements(element, kEveryElement.View(), budget, take);
    return failed ? WalkOutcome::kUndecided : outcome;
  }
  ElementCursor every(element, kEveryElement, 0);
  for (int handed = 0;; ++handed) {
    ComPtr<IXMLDOMNode> next = every.NextNode();
    if (!next) return every.Failed() ? WalkOutcome::kUndecided : WalkOutcome::kSettled;
    if (handed == budget) return WalkOutcome::kUndecided;
    if (!VisitNamed(std::move(next), visit, failed)) {
      return failed ? WalkOutcome::kUndecided : WalkOutcome::kSettled;
    }
  }
}

}  // namespace quenlo::confext
