// Writing nodes out as XML text: attributes in insertion order, and every character that would
// change meaning when read back written as a reference.
#pragma once

#include <string>
#include <string_view>

namespace quenlo::platform::dom {

class Node;

void AppendXml(Node& root, std::u16string& out);

// "&", "<" and ">"; CR as a character reference, since a parser turns a literal CR into LF.
void AppendEscapedText(std::u16string_view text, std::u16string& out);
// As text, plus the quote; tab, LF and CR as references, since a parser turns literal ones
// inside an attribute value into spaces.
void AppendEscapedAttributeValue(std::u16string_view value, std::u16string& out);

}  // namespace quenlo::platform::dom
