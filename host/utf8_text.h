// Conversions between the module's UTF-16 text and the UTF-8 text of the wire and the console.
#pragma once

#include <quenlo/platform.h>

#include <optional>
#include <string>
#include <string_view>

namespace quenlo::host {

// Lone surrogates become U+FFFD: for showing text, where a best effort is right.
std::string ToUtf8(std::u16string_view text);
// Empty when the text holds a lone surrogate: for the wire, where a damaged packet is worse
// than none.
std::optional<std::string> ToUtf8Strict(std::u16string_view text);
// Malformed sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

}  // namespace quenlo::host
