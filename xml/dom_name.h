// A fixed name as the BSTR that the DOM's calls and the host's RaiseEvent take. The module passes
// a few dozen fixed names (tags, attribute names, event paths), literals, over and over, so each
// is made once and kept in a process-wide table until the module unloads: looking up or building
// XML and announcing a result then allocate no names. Should the table ever fill, further names
// are copied for the call, as every name once was.
#pragma once

#include "component/bstr.h"

namespace quenlo::confext {

class DomName {
 public:
  // Throws _com_error(E_OUTOFMEMORY) when the name cannot be made.
  explicit DomName(const OLECHAR* name);

  // Valid while this object lives.
  BSTR Get() const noexcept { return shared_ != nullptr ? shared_ : copy_.Get(); }

 private:
  BSTR shared_ = nullptr;  // the table's, never freed while the module is loaded
  Bstr copy_;
};

}  // namespace quenlo::confext
