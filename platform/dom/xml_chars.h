// What XML 1.0 can carry, so that the DOM never holds a tree it could not write out and read
// back: a packet the server cannot parse would break the whole connection.
#pragma once

#include <string_view>

namespace quenlo::platform::dom {

struct Name;

// False for control characters other than tab, CR and LF, surrogates, U+FFFE, U+FFFF and
// anything beyond U+10FFFF.
bool IsXmlChar(char32_t c) noexcept;

// False for a character IsXmlChar refuses or a lone surrogate.
bool IsXmlText(std::u16string_view text) noexcept;
// Copies UTF-8 text to `out`, which has room for utf8.size() bytes, checking it on the way:
// false, with `out` written in part, for a character IsXmlChar refuses or malformed UTF-8.
bool CopyXmlText(std::string_view utf8, char* out) noexcept;

// True when every byte is below 0x80.
bool IsAscii(std::string_view text) noexcept;
// Writes the ASCII text as UTF-16 units to out, which has room for text.size() units.
void WidenAscii(std::string_view ascii, char16_t* out) noexcept;

// True when the text is nothing but XML white space (space, tab, CR, LF), or empty.
bool IsXmlSpace(std::string_view text) noexcept;

// An XML name usable with namespaces: name characters only, and at most one colon, neither
// first nor last.
bool IsXmlName(std::u16string_view name) noexcept;
// The same for a kept name, whose text is looked at only until it is first found valid: callers
// make elements and attributes under the same few names over and over.
bool IsXmlName(const Name& name) noexcept;

// The part of a qualified name after its prefix ("query" for "q:query").
std::u16string_view LocalPart(std::u16string_view qualifiedName) noexcept;

}  // namespace quenlo::platform::dom
