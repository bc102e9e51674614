// The Windows-1252 character set, the ANSI code page of a Western install.
#pragma once

#include <optional>

namespace quenlo::platform {

char16_t Windows1252ToUtf16(unsigned char byte);
// Empty for a UTF-16 unit that the code page cannot represent.
std::optional<unsigned char> Utf16ToWindows1252(char16_t unit);

}  // namespace quenlo::platform
