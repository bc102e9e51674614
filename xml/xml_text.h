// Whether XML 1.0 can carry a text. The module checks every attribute and element text itself
// before handing it to the DOM: the platform's msxml accepts control characters and lone
// surrogates and writes them out as they are, and a packet the server cannot parse would break
// the whole connection.
#pragma once

#include "component/ole_text.h"

namespace quenlo::confext {

// False for control characters other than tab, CR and LF, for lone surrogates, and for U+FFFE
// and U+FFFF.
bool IsXmlText(OleStringView text) noexcept;

}  // namespace quenlo::confext
