#include "xml/element_lookup.h"

#include <array>

#include "component/ole_text.h"
#include "xml/dom_name.h"
#include "xml/element_cursor.h"

namespace quenlo::confext {
namespace {

#ifdef _WIN32
// msxml answers getElementsByTagName by evaluating the whole subtree into a list: about 20 us
// under Wine even below a seven-field agenda item, where stepping from node to node costs a few
// tenths of a microsecond. So the first match is looked for by walking the first few nodes in
// document order, which settles most lookups in a reply's small elements; past that, or below
// deeper nesting, the DOM's own list answers.
constexpr int kNodesWalked = 32;
#else
// The POSIX DOM makes its list lazily and turns most elements away by a hash of their tag,
// while each step of a walk through the interfaces costs a node name made as a string: its list
// is the quicker at every size.
constexpr int kNodesWalked = 0;
#endif
constexpr std::size_t kDeepestWalked = 8;

enum class Walk { kFound, kAbsent, kUndecided };

// Whether the node is an element named exactly tag.
bool IsElementNamed(IXMLDOMNode* node, OleStringView tag, bool& failed) noexcept {
  Bstr name;
  if (FAILED(node->get_nodeName(name.Put()))) {
    failed = true;
    return false;
  }
  if (name.View() != tag) return false;  // "#text" and the like never equal a tag
  DOMNodeType type = NODE_INVALID;
  failed = FAILED(node->get_nodeType(&type));
  return type == NODE_ELEMENT;
}

Walk WalkFor(IXMLDOMElement* element, OleStringView tag, int nodes,
             ComPtr<IXMLDOMElement>& found) noexcept {
  // The nodes whose later siblings are still to be walked, from the element down.
  std::array<ComPtr<IXMLDOMNode>, kDeepestWalked> open;
  std::size_t depth = 0;
  ComPtr<IXMLDOMNode> node;
  if (FAILED(element->get_firstChild(node.Put()))) return Walk::kUndecided;
  for (int walked = 0; node; ++walked) {
    if (walked == nodes) return Walk::kUndecided;
    bool failed = false;
    if (IsElementNamed(node.Get(), tag, failed)) {
      found = node.As<IXMLDOMElement>();
      return found ? Walk::kFound : Walk::kUndecided;
    }
    ComPtr<IXMLDOMNode> next;
    if (failed || FAILED(node->get_firstChild(next.Put()))) return Walk::kUndecided;
    if (next) {
      if (depth == open.size()) return Walk::kUndecided;
      open[depth++] = std::move(node);
    } else {
      // No children: on to the next sibling, or to the next sibling of the nearest open node.
      for (;;) {
        if (FAILED(node->get_nextSibling(next.Put()))) return Walk::kUndecided;
        if (next || depth == 0) break;
        node = std::move(open[--depth]);
      }
    }
    node = std::move(next);
  }
  return Walk::kAbsent;
}

}  // namespace

ComPtr<IXMLDOMElement> FindElement(IXMLDOMElement* element, const OLECHAR* tag) {
  return FindElementWalking(element, tag, kNodesWalked);
}

ComPtr<IXMLDOMElement> FindElementWalking(IXMLDOMElement* element, const OLECHAR* tag, int nodes) {
  if (element == nullptr) return nullptr;
  if (nodes > 0) {
    ComPtr<IXMLDOMElement> found;
    try {
      // Made whichever way the walk goes, so that the names the module keeps for the DOM's
      // calls do not depend on how far it got.
      const DomName name(tag);
      switch (WalkFor(element, ViewOfBstr(name.Get()), nodes, found)) {
        case Walk::kFound:
          return found;
        case Walk::kAbsent:
          return nullptr;
        case Walk::kUndecided:
          break;
      }
    } catch (...) {
      return nullptr;  // as a lookup whose name could not be made always answered
    }
  }
  return ElementCursor(element, tag).Next();
}

bool FindElements(IXMLDOMElement* element, const OLECHAR* tag,
                  std::vector<ComPtr<IXMLDOMElement>>& found) {
  try {
    ElementCursor matches(element, tag);
    while (ComPtr<IXMLDOMElement> match = matches.Next()) found.push_back(std::move(match));
    return !matches.Failed() && matches.Count() > 0;
  } catch (...) {
    return false;
  }
}

bool GetNamespace(IXMLDOMNode* node, Bstr& uri) {
  return node != nullptr && SUCCEEDED(node->get_namespaceURI(uri.Put()));
}

}  // namespace quenlo::confext
