// Writing nodes out as XML text: attributes in insertion order, and every character that would
// change meaning when read back written as a reference.
#pragma once

#include <platform/oleauto.h>

#include <string>
#include <string_view>

namespace quenlo::platform::dom {

class Node;

// The subtree's XML in a new BSTR. E_OUTOFMEMORY when it cannot be made.
HRESULT XmlOf(Node& root, BSTR* xml) noexcept;

// As text ("&", "<" and ">"; CR as a character reference, since a parser turns a literal CR
// into LF), plus the quote; tab, LF and CR as references, since a parser turns literal ones
// inside an attribute value into spaces.
void AppendEscapedAttributeValue(std::u16string_view value, std::u16string& out);

}  // namespace quenlo::platform::dom
