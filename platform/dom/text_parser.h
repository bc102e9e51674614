// Builds DOM trees from XML text. UTF-8 text is read with pugixml when it keeps to what that
// reader is checked for here (elements, attributes, text and references); everything else, and
// every refusal, is expat's, so that the reader makes no difference to the tree or the message.
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
ParseOutcome ParseUtf16Into(Node& document, std::u16string_view text, const XmlParseLimits& limits);
// Parse into a free-standing tree that belongs to no document: root is its root element, with
// one reference for the caller, when the text is accepted, and null otherwise (nothing is left
// behind).
ParseOutcome ParseUtf8Alone(std::string_view utf8, const XmlParseLimits& limits, Element*& root);

}  // namespace quenlo::platform::dom
