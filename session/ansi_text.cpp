#include "session/ansi_text.h"

#include <limits>

#include "component/code_page.h"

namespace quenlo::confext {

std::string ToAnsi(OleStringView text) { return NarrowText(CP_ACP, text).value_or(std::string{}); }

Bstr AnsiToBstr(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw _com_error(E_OUTOFMEMORY);
  }
  const std::optional<OleString> wide = WidenText(CP_ACP, text);
  if (!wide) throw _com_error(HRESULT_FROM_WIN32(GetLastError()));
  return Bstr::Copy(*wide);
}

}  // namespace quenlo::confext
