// Views of wide text as the module receives it: zero-terminated, with null meaning "empty".
//
// The module's string types, and when to use which:
//
//   OleStringView  (here)            borrowed text, counted: reading and comparing within a call.
//   OleText        (here)            a parameter that takes a host's const OLECHAR* (null: empty)
//                                    or a view alike; a view made from null would be undefined.
//   OleString      (here)            owned text kept in the module's own containers (a reply's
//                                    subject indexes); no platform call to make or free.
//   Bstr           (bstr.h)          an owned platform string: whatever goes to or comes from the
//                                    DOM or the host (out-parameters, texts read, the room
//                                    address).
//   FixedName      (xml/dom_name.h)  a tag, attribute name or event path fixed in the source.
//   DomName        (xml/dom_name.h)  the BSTR a FixedName is made into once, for a DOM call.
//   std::string                      narrow text: the ANSI code page (property names and values)
//                                    or UTF-8 (the wire, logs).
//
// A shared, reference-counted string once stood beside Bstr; nothing shared its texts, so a Bstr
// (or a view of one) does its job.
#pragma once

#include <quenlo/platform.h>

#include <string>
#include <string_view>

namespace quenlo {

using OleStringView = std::basic_string_view<OLECHAR>;
// An owned copy of wide text, for containers that outlive the call that handed the text in.
using OleString = std::basic_string<OLECHAR>;

// A null pointer stands for the empty string.
inline OleStringView ViewOf(const OLECHAR* text) noexcept {
  return text == nullptr ? OleStringView{} : OleStringView{text};
}

// The whole text of a platform string that the caller does not own, embedded zero units
// included; a null string stands for the empty one.
inline OleStringView ViewOfBstr(BSTR text) noexcept {
  return text == nullptr ? OleStringView{} : OleStringView{text, SysStringLen(text)};
}

// A wide-text argument: a zero-terminated pointer (null meaning empty) or a counted view, so
// that callers holding either kind pass it straight in.
class OleText {
 public:
  OleText(const OLECHAR* text) noexcept : view_(ViewOf(text)) {}  // NOLINT: implicit by design
  OleText(OleStringView text) noexcept : view_(text) {}           // NOLINT: implicit by design

  OleStringView View() const noexcept { return view_; }

 private:
  OleStringView view_;
};

// Compares two texts folding only the ASCII letters A-Z; every other unit must match exactly.
bool EqualsIgnoringAsciiCase(OleStringView left, OleStringView right) noexcept;

}  // namespace quenlo
