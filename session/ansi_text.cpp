#include "session/ansi_text.h"

#include <limits>

std::string ToAnsi(OleStringView text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return {};
  }
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), size, nullptr, nullptr) !=
      size) {
    return {};
  }
  return narrow;
}

Bstr AnsiToBstr(std::string_view text) {
  if (text.empty()) return Bstr::Copy({});
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw _com_error(E_OUTOFMEMORY);
  }
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (size <= 0) throw _com_error(HRESULT_FROM_WIN32(GetLastError()));
  Bstr wide = Bstr::Adopt(SysAllocStringLen(nullptr, static_cast<UINT>(size)));
  if (wide.Get() == nullptr) throw _com_error(E_OUTOFMEMORY);
  if (MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.Get(), size) != size) {
    throw _com_error(HRESULT_FROM_WIN32(GetLastError()));
  }
  return wide;
}
