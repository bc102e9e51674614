// Builds DOM trees from XML text with expat, in its plain (non-namespace) mode: tag names stay
// qualified as written and xmlns declarations stay attributes, while the namespace of each
// element is resolved here from the declarations in scope.
#pragma once

#include <platform/xml_parser.h>

#include <string_view>

namespace quenlo::platform::dom {

class Element;
class Node;

struct ParseOutcome {
  XmlParseResult result;
  long line = 0;    // where a refusal was detected; 0 on success
  long column = 0;  // 1-based
};

// Parse into a document that has no children. A refused text may leave part of a tree behind.
// Running out of memory throws std::bad_alloc.
ParseOutcome ParseUtf8Into(Node& document, std::string_view utf8, const XmlParseLimits& limits);
ParseOutcome ParseUtf16Into(Node& document, std::u16string_view text, const XmlParseLimits& limits);
// Parse into a free-standing tree that belongs to no document: root is its root element, with
// one reference for the caller, when the text is accepted, and null otherwise (nothing is left
// behind).
ParseOutcome ParseUtf8Alone(std::string_view utf8, const XmlParseLimits& limits, Element*& root);

}  // namespace quenlo::platform::dom
