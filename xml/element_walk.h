// Elements with one tag found by stepping from node to node through the DOM's interfaces, as far
// as a budget of nodes allows. Where the DOM answers a tag list by evaluating the whole subtree
// (msxml), a small subtree is read faster this way; where a walk costs more than the list, the
// budget is zero and the DOM's list always answers.
#pragma once

#include <functional>

#include "component/com_ptr.h"
#include "component/ole_text.h"
#include "xml/dom_name.h"

namespace quenlo::confext {

#ifdef _WIN32
// msxml answers getElementsByTagName by evaluating the whole subtree into a list: about 20 us
// under Wine even below a seven-field agenda item, where stepping from node to node costs a few
// tenths of a microsecond. A reply's small elements are settled within this many nodes.
inline constexpr int kNodesWalked = 32;
#else
// The POSIX DOM makes its list lazily and turns most elements away by a hash of their tag,
// while each step of a walk through the interfaces costs a node name made as a string: its list
// is the quicker at every size.
inline constexpr int kNodesWalked = 0;
#endif

// The tag that names every element, in the DOM's lists and in the walks here alike.
inline constexpr FixedName kEveryElement = OLESTR("*");

enum class WalkOutcome {
  kSettled,    // every match was handed over, or the taker asked for no more
  kUndecided,  // over budget, too deep or a DOM failure: what was handed over is to be ignored
};

// Given each match in document order; answers whether the walk is to go on.
using MatchTaker = std::function<bool(ComPtr<IXMLDOMElement> match)>;

// Hands the elements named exactly tag below element, in document order, to take, visiting at
// most `nodes` nodes; kEveryElement names every element. What take throws goes to the caller.
WalkOutcome WalkForElements(IXMLDOMElement* element, OleStringView tag, int nodes,
                            const MatchTaker& take);

// Given each element in document order with its tag name; answers whether to go on.
using ElementVisitor = std::function<bool(ComPtr<IXMLDOMNode> element, OleStringView name)>;

// Hands every element below element, in document order, to visit, with its tag name: by a walk
// of at most `budget` nodes where walk is set, otherwise at most `budget` elements from the DOM's
// list of every element. Settled when visit asked for no more or the subtree ended. What visit
// throws goes to the caller.
WalkOutcome VisitElements(IXMLDOMElement* element, int budget, bool walk,
                          const ElementVisitor& visit);

}  // namespace quenlo::confext
