// Whether XML 1.0 can carry a text. Every attribute and element text is checked before it goes
// out: msxml accepts control characters and lone surrogates and writes them out as they are, and
// a packet the server cannot parse would break the whole connection.
#pragma once

#include "component/ole_text.h"

namespace quenlo::confext {

// False for control characters other than tab, CR and LF, for lone surrogates, and for U+FFFE
// and U+FFFF.
bool IsXmlText(OleStringView text) noexcept;

// Whether a text may be handed to the DOM's put_text or setAttribute. The POSIX platform's DOM
// refuses what XML cannot carry itself, with the same rules, so the builders there leave it the
// check instead of reading every request's text twice; msxml takes anything.
inline bool MayHandToDom(OleStringView text) noexcept {
#ifdef _WIN32
  return IsXmlText(text);
#else
  static_cast<void>(text);
  return true;
#endif
}

}  // namespace quenlo::confext
