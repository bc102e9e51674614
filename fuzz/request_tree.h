// A request as the server would read it: the element a session sent, written out as text and
// parsed again, then taken apart into plain values that a check can compare with what it expects.
#pragma once

#include <platform/msxml.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quenlo::fuzz {

struct XmlTree {
  std::u16string tag;
  std::vector<std::pair<std::u16string, std::u16string>> attributes;  // in document order
  std::u16string text;  // the element's own text nodes, joined
  std::vector<XmlTree> children;
};

// The tree as one line, every unit outside printable ASCII as \uXXXX: for finding reports.
std::string Describe(const XmlTree& tree);

// Empty when the written text does not parse again.
std::optional<XmlTree> ReparsedRequest(IXMLDOMElement* sent);

// Whether XML 1.0 can carry the text (no control characters but tab, CR and LF, no lone
// surrogates, no U+FFFE or U+FFFF).
bool CarriesInXml(std::u16string_view text);

// What a parser gives back for a text written into an element: a text of white space only
// vanishes, as the DOM drops such text nodes.
bool SameElementText(std::u16string_view written, std::u16string_view parsed);

}  // namespace quenlo::fuzz
