// How the module reads a reply. Three ways, one per need; tags match exactly (case-sensitive), at
// any depth below the given element, in document order; DOM failures read as nothing found and
// never raise.
//
//   FindElement, ElementHandle::First / TextOf  one value: the first element of a tag (an iq's
//                                               query or error, a test's probe).
//   ElementHandle::Each (ElementCursor),        a list: every element of a tag, one at a time, or
//   FindElements                                collected for a result that keeps them (a reply's
//                                               subjects, a subject's voters).
//   RecordFields (record_fields.h)              a record: the single values of one element that a
//                                               result object's host reads one after the other.
//
// Beneath all three, one choice per platform, kNodesWalked (element_walk.h), measured under Wine
// with the real msxml and on POSIX in instructions (docs/platform-differences.md):
// - msxml evaluates a whole subtree for a tag list (about 20 us below a seven-field item, 7.6 ms
//   below a 1,000-item reply): lookups first walk up to 32 nodes themselves (a 1,000-item browse
//   188 -> 35 ms), and past that a lookup that would end empty is first tried on the subtree's
//   written-out text (element_absence.h: the 3 MB result reply 588 -> 411 ms).
// - The POSIX DOM's lists are lazy and filter by a hash of the tag, cheaper than any walk: there
//   kNodesWalked is 0, nothing walks and no text is written out; a record's pass reads the list of
//   every element instead (2.3% fewer instructions on the browse).
#pragma once

#include <vector>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "xml/dom_name.h"
#include "xml/element_walk.h"

namespace quenlo::confext {

// The first element with that tag below element (which may be null). nodesWalked: how far it walks
// before asking the DOM for a list; the answer is the same at any length.
ComPtr<IXMLDOMElement> FindElement(IXMLDOMElement* element, FixedName tag,
                                   int nodesWalked = kNodesWalked);

// Appends every element with that tag below element to found, as ElementCursor hands them out;
// true when there was at least one. Elements appended before a failure stay in the list.
bool FindElements(IXMLDOMElement* element, FixedName tag,
                  std::vector<ComPtr<IXMLDOMElement>>& found);

// The namespace URI of node (which may be null); a node without one gives an empty text.
bool GetNamespace(IXMLDOMNode* node, Bstr& uri);

}  // namespace quenlo::confext
