// What a product gives the shared session layer to turn its replies into announcements: the only
// difference between the voting and agenda sessions on the reply path is this data.
#pragma once

#include <span>

#include "component/com_ptr.h"
#include "xml/dom_name.h"

namespace quenlo::confext {

// Makes and loads the result object over a reply element; empty when it cannot be allocated.
// Any other failure (a conversion, Load) leaves as an exception and nothing is announced.
using ResultMaker = ComPtr<IUnknown> (*)(IXMLDOMElement* element);

// A reply whose query type equals queryType (ASCII letters folded) is announced under eventPath
// with the object make builds over its query element.
struct ReplyRoute {
  const OLECHAR* queryType;
  FixedName eventPath;
  ResultMaker make;
};

struct ReplyRoutes {
  // In matching order; a type no route names (the empty one included) announces nothing.
  std::span<const ReplyRoute> replies;
  // An error reply is announced under errorPath with the object makeError builds over its
  // "error" element; without one it announces nothing.
  FixedName errorPath;
  ResultMaker makeError;
};

}  // namespace quenlo::confext
