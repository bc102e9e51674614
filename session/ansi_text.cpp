#include "session/ansi_text.h"

#include "component/code_page.h"

namespace quenlo::confext {

std::string ToAnsi(OleStringView text) { return NarrowText(CP_ACP, text).value_or(std::string{}); }

// Converted straight into the platform string: a property value read back costs one allocation.
Bstr AnsiToBstr(std::string_view text) {
  if (!FitsPlatformSize(text.size())) throw _com_error(E_OUTOFMEMORY);
  Bstr wide;
  const bool converted = WidenInto(CP_ACP, text, [&wide](int size) {
    wide = Bstr::Adopt(SysAllocStringLen(nullptr, static_cast<UINT>(size)));
    if (wide.Get() == nullptr) throw _com_error(E_OUTOFMEMORY);
    return wide.Get();
  });
  if (!converted) throw _com_error(HRESULT_FROM_WIN32(GetLastError()));
  return wide;
}

}  // namespace quenlo::confext
