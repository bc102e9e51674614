#include "component/code_page.h"

#include <limits>

namespace quenlo {

namespace {

bool FitsPlatformSize(std::size_t size) {
  return size <= static_cast<std::size_t>(std::numeric_limits<int>::max());
}

}  // namespace

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
  if (text.empty()) return OleString{};
  if (!FitsPlatformSize(text.size())) return std::nullopt;
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return std::nullopt;
  OleString wide(static_cast<std::size_t>(size), OLECHAR{});
  if (MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size) != size) {
    return std::nullopt;
  }
  return wide;
}

}  // namespace quenlo
