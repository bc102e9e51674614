#include "component/code_page.h"

namespace quenlo {

std::optional<std::string> NarrowText(UINT codePage, OleStringView text, DWORD flags) {
  if (text.empty()) return std::string{};
  if (!FitsPlatformSize(text.size())) return std::nullopt;
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string narrow(static_cast<std::size_t>(size), '\0');
  if (WideCharToMultiByte(codePage, flags, text.data(), length, narrow.data(), size, nullptr,
                          nullptr) != size) {
    return std::nullopt;
  }
  return narrow;
}

std::optional<OleString> WidenText(UINT codePage, std::string_view text) {
  OleString wide;
  const bool converted = WidenInto(codePage, text, [&wide](int size) {
    wide.resize(static_cast<std::size_t>(size));
    return wide.data();
  });
  if (!converted) return std::nullopt;
  return wide;
}

}  // namespace quenlo
