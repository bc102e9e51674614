#include "xml/element_lookup.h"

#include "component/ole_text.h"
#include "xml/dom_name.h"
#include "xml/element_absence.h"
#include "xml/element_cursor.h"
#include "xml/element_walk.h"

namespace quenlo::confext {

namespace {

ComPtr<IXMLDOMNode> FindElementNodeWalking(IXMLDOMElement* element, FixedName tag, int nodes) {
  if (element == nullptr) return nullptr;
  if (nodes > 0) {
    try {
      // Made whichever way the walk goes, so that the names the module keeps for the DOM's
      // calls do not depend on how far it got.
      const DomName name(tag);
      ComPtr<IXMLDOMElement> first;
      const auto takeFirst = [&first](ComPtr<IXMLDOMElement> match) {
        first = std::move(match);
        return false;
      };
      if (WalkForElements(element, tag.View(), nodes, takeFirst) == WalkOutcome::kSettled) {
        return ComPtr<IXMLDOMNode>::Adopt(first.Detach());
      }
      // The walk gave up below a large element, where a list costs the DOM the whole subtree;
      // the subtree's text proves most absences for less (element_absence.h).
      Bstr xml;
      if (SUCCEEDED(element->get_xml(xml.Put())) && XmlTextLacksElement(xml.View(), tag.View())) {
        return nullptr;
      }
    } catch (...) {
      return nullptr;  // as a lookup whose name could not be made always answered
    }
  }
  return ElementCursor(element, tag, 0).NextNode();  // walked already, as far as it pays
}

}  // namespace

ComPtr<IXMLDOMElement> FindElement(IXMLDOMElement* element, FixedName tag) {
  return FindElementWalking(element, tag, kNodesWalked);
}

ComPtr<IXMLDOMNode> FindElementNode(IXMLDOMElement* element, FixedName tag) {
  return FindElementNodeWalking(element, tag, kNodesWalked);
}

ComPtr<IXMLDOMElement> FindElementWalking(IXMLDOMElement* element, FixedName tag, int nodes) {
  const ComPtr<IXMLDOMNode> found = FindElementNodeWalking(element, tag, nodes);
  return found ? found.As<IXMLDOMElement>() : nullptr;
}

bool FindElements(IXMLDOMElement* element, FixedName tag,
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
