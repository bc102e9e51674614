// The platform's best fit for Windows-1252: a character the code page lacks is narrowed to a
// look-alike byte where there is one, as Windows does unless told WC_NO_BEST_FIT_CHARS.
#pragma once

#include <optional>

namespace quenlo::platform {

// The look-alike byte for a UTF-16 unit outside the code page ("A" for U+0100, "1" for the
// full-width one U+FF11); empty when there is none and the unit becomes the default character.
std::optional<unsigned char> Windows1252BestFit(char16_t unit);

}  // namespace quenlo::platform
