#include "component/bstr.h"

namespace quenlo {

Bstr Bstr::Copy(OleStringView text) {
  Bstr copy = TryCopy(text);
  if (copy.Get() == nullptr) throw _com_error(E_OUTOFMEMORY);
  return copy;
}

Bstr Bstr::TryCopy(OleStringView text) noexcept {
  return Adopt(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

Bstr Bstr::Adopt(BSTR text) noexcept {
  Bstr owner;
  owner.Reset(text);
  return owner;
}

BSTR Bstr::Rewrite(OleStringView text) {
  BSTR held = Detach();
  const bool rewritten =
      SysReAllocStringLen(&held, text.data(), static_cast<UINT>(text.size())) != 0;
  Reset(held);
  if (!rewritten) throw _com_error(E_OUTOFMEMORY);
  return Get();
}

OleStringView Bstr::View() const noexcept { return ViewOfBstr(Get()); }

}  // namespace quenlo
