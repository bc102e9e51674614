// Elements found by stepping from node to node through the DOM's interfaces, as far as a budget of
// nodes allows: the one strategy under every lookup of element_lookup.h on a DOM whose tag lists
// cost the whole subtree (msxml). Callers read replies through element_lookup.h, not through this.
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

// The tag that names every element, in the DOM's lists and in the walk here alike.
inline constexpr FixedName kEveryElement = OLESTR("*");

enum class WalkOutcome {
  kSettled,    // every match was handed over, or the visitor asked for no more
  kUndecided,  // over budget, too deep or a DOM failure: what was handed over is to be ignored
};

// Given each match in document order, as the node the DOM handed out (an element), with its tag
// name; answers whether the walk is to go on.
using ElementVisitor = std::function<bool(ComPtr<IXMLDOMNode> element, OleStringView name)>;

// Hands the elements named exactly tag below element, in document order, to visit, stepping
// through at most `nodes` nodes (texts count); kEveryElement names every element. What visit
// throws goes to the caller.
WalkOutcome WalkForElements(IXMLDOMElement* element, OleStringView tag, int nodes,
                            const ElementVisitor& visit);

}  // namespace quenlo::confext
