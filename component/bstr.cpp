#include "component/bstr.h"

Bstr Bstr::Copy(OleStringView text) {
  BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (copy == nullptr) throw _com_error(E_OUTOFMEMORY);
  return Adopt(copy);
}

Bstr Bstr::Adopt(BSTR text) noexcept {
  Bstr owner;
  owner.text_ = text;
  return owner;
}

OleStringView Bstr::View() const noexcept {
  return text_ == nullptr ? OleStringView{} : OleStringView{text_, SysStringLen(text_)};
}

void Bstr::Reset(BSTR text) noexcept {
  if (BSTR old = std::exchange(text_, text)) SysFreeString(old);
}
