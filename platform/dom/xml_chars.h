// What XML 1.0 can carry, so that the DOM never holds a tree it could not write out and read
// back: a packet the server cannot parse would break the whole connection.
#pragma once

#include <string_view>

namespace quenlo::platform::dom {

// False for control characters other than tab, CR and LF, lone surrogates, U+FFFE and U+FFFF.
bool IsXmlText(std::u16string_view text) noexcept;

// An XML name usable with namespaces: name characters only, and at most one colon, neither
// first nor last.
bool IsXmlName(std::u16string_view name) noexcept;

// The part of a qualified name after its prefix ("query" for "q:query").
std::u16string_view LocalPart(std::u16string_view qualifiedName) noexcept;

}  // namespace quenlo::platform::dom
