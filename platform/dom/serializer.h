// Writing nodes out as XML text: attributes in insertion order, and every character that would
// change meaning when read back written as a reference.
#pragma once

#include <platform/oleauto.h>

#include <string_view>

namespace quenlo::platform::dom {

class Node;

// The subtree's XML in a new BSTR. E_OUTOFMEMORY when it cannot be made.
HRESULT XmlOf(Node& root, BSTR* xml) noexcept;

// An attribute as it stands in a start tag: name="value", the value written as text is ("&",
// "<" and ">"; CR as a character reference, since a parser turns a literal CR into LF), plus
// the quote, and tab, LF and CR as references, since a parser turns literal ones inside a value
// into spaces.
HRESULT AttributeXmlOf(std::u16string_view name, std::u16string_view value, BSTR* xml) noexcept;

}  // namespace quenlo::platform::dom
