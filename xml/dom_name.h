// The names the module hands the DOM and the host: tags, attribute names, event paths. Each is
// text fixed in the module's source (FixedName), and is made once into the BSTR that the DOM's
// calls and the host's RaiseEvent take (DomName), kept in a process-wide table until the module
// unloads: looking up or building XML and announcing a result then allocate no names. Should the
// table ever fill, further names are copied for the call.
#pragma once

#include <cstddef>

#include "component/bstr.h"

namespace quenlo::confext {

class FixedName {
 public:
  // Only text known while compiling converts: a literal, or a constexpr array or pointer. Its
  // text then stays as it is for as long as the module is loaded, so that where it lies tells
  // it from every other name without a look at the text. Reading the text here is what turns
  // anything else away: a buffer filled at run time is no constant.
  consteval FixedName(const OLECHAR* text)  // NOLINT(google-explicit-constructor): literals convert
      : text_(text) {
    while (text[length_] != 0) ++length_;
  }

  const OLECHAR* Text() const noexcept { return text_; }
  OleStringView View() const noexcept { return {text_, length_}; }

 private:
  const OLECHAR* text_;
  std::size_t length_ = 0;
};

class DomName {
 public:
  // Throws _com_error(E_OUTOFMEMORY) when the name cannot be made.
  explicit DomName(FixedName name);

  // Valid while this object lives.
  BSTR Get() const noexcept { return shared_ != nullptr ? shared_ : copy_.Get(); }

 private:
  BSTR shared_ = nullptr;  // the table's, never freed while the module is loaded
  Bstr copy_;
};

}  // namespace quenlo::confext
