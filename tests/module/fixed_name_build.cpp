// Built, never run: with QUENLO_NAME_FROM_RUNTIME_TEXT it hands a DOM name text made at run time,
// which must not compile, since names are told apart by where their text lies and such text may
// change there. Without it, the same code with a literal must compile.
#include <string>

#include "xml/dom_name.h"

namespace quenlo::confext {

BSTR NameForTheDom() {
#ifdef QUENLO_NAME_FROM_RUNTIME_TEXT
  static OleString text = OLESTR("subject");
  static const DomName name(text.c_str());
#else
  static const DomName name(OLESTR("subject"));
#endif
  return name.Get();
}

}  // namespace quenlo::confext
