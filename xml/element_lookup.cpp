#include "xml/element_lookup.h"

#include "component/ole_text.h"
#include "xml/element_absence.h"
#include "xml/element_cursor.h"

namespace quenlo::confext {

ComPtr<IXMLDOMElement> FindElement(IXMLDOMElement* element, FixedName tag, int nodesWalked) {
  if (element == nullptr) return nullptr;
  if (nodesWalked > 0) {
    try {
      // Made whichever way the walk goes, so that the names the module keeps for the DOM's
      // calls do not depend on how far it got.
      const DomName name(tag);
      ComPtr<IXMLDOMNode> first;
      const auto takeFirst = [&first](ComPtr<IXMLDOMNode> match, OleStringView) {
        first = std::move(match);
        return false;
      };
      if (WalkForElements(element, tag.View(), nodesWalked, takeFirst) == WalkOutcome::kSettled) {
        return first ? first.As<IXMLDOMElement>() : nullptr;
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
  return ElementCursor(element, tag, 0).Next();  // walked already, as far as it pays
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
