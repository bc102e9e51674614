#include "host/utf8_text.h"

#include <limits>

#include "host/host_error.h"

namespace quenlo::host {
namespace {

int CheckedLength(std::size_t size) {
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw HostError("text too long to convert");
  }
  return static_cast<int>(size);
}

std::optional<std::string> Encode(std::u16string_view text, DWORD flags) {
  if (text.empty()) return std::string{};
  const int length = CheckedLength(text.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string encoded(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, flags, text.data(), length, encoded.data(), size, nullptr, nullptr);
  return encoded;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) { return Encode(text, 0).value_or(std::string{}); }

std::optional<std::string> ToUtf8Strict(std::u16string_view text) {
  return Encode(text, WC_ERR_INVALID_CHARS);
}

std::u16string FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int length = CheckedLength(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::u16string decoded(static_cast<std::size_t>(size), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, decoded.data(), size);
  return decoded;
}

}  // namespace quenlo::host
