#include "host/utf8_text.h"

#include <limits>

#include "component/code_page.h"
#include "host/host_error.h"

namespace quenlo::host {
namespace {

void CheckLength(std::size_t size) {
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw HostError("text too long to convert");
  }
}

std::optional<std::string> Encode(std::u16string_view text, DWORD flags) {
  CheckLength(text.size());
  return NarrowText(CP_UTF8, text, flags);
}

}  // namespace

std::string ToUtf8(std::u16string_view text) { return Encode(text, 0).value_or(std::string{}); }

std::optional<std::string> ToUtf8Strict(std::u16string_view text) {
  return Encode(text, WC_ERR_INVALID_CHARS);
}

std::u16string FromUtf8(std::string_view text) {
  CheckLength(text.size());
  return WidenText(CP_UTF8, text).value_or(std::u16string{});
}

}  // namespace quenlo::host
