// Lookups through which replies are read. Tags match exactly (case-sensitive), at any depth
// below the given element, in document order. DOM failures give false or an empty result and
// never raise.
#pragma once

#include <vector>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "xml/dom_name.h"

namespace quenlo::confext {

// The first element with that tag below element (which may be null).
ComPtr<IXMLDOMElement> FindElement(IXMLDOMElement* element, FixedName tag);
// The same, found by walking up to `nodes` nodes below element; past them, an absence that the
// element's written-out text proves (element_absence.h) is answered from it, and otherwise the
// DOM is asked for a list of that tag. FindElement walks as far as pays on the DOM it runs on;
// the answer is the same at any length.
ComPtr<IXMLDOMElement> FindElementWalking(IXMLDOMElement* element, FixedName tag, int nodes);
// The same element as FindElement, as the node the DOM handed out (see ElementCursor::NextNode):
// for a caller that reads only its text.
ComPtr<IXMLDOMNode> FindElementNode(IXMLDOMElement* element, FixedName tag);

// Appends every element with that tag below element to found; true when there was at least one.
// Elements appended before a failure stay in the list.
bool FindElements(IXMLDOMElement* element, FixedName tag,
                  std::vector<ComPtr<IXMLDOMElement>>& found);

// The namespace URI of node (which may be null); a node without one gives an empty text.
bool GetNamespace(IXMLDOMNode* node, Bstr& uri);

}  // namespace quenlo::confext
