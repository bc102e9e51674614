#include "parse_error.h"

#include "dom_strings.h"

namespace quenlo::platform::dom {

long ParseErrorCode(XmlParseStatus status) noexcept {
  if (status == XmlParseStatus::Ok) return 0;
  return static_cast<long>(MakeHresult(0x80040200u + static_cast<std::uint32_t>(status)));
}

ParseError* ParseError::Create(long code, std::u16string reason, long line, long linePosition) {
  return new ParseError(code, std::move(reason), line, linePosition);
}

ParseError* ParseError::None() {
  static ParseError* const none = Create(0, {}, 0, 0);  // holds a reference for good
  none->AddReference();
  return none;
}

ParseError::ParseError(long code, std::u16string reason, long line, long linePosition) noexcept
    : code_(code), reason_(std::move(reason)), line_(line), linePosition_(linePosition) {}

HRESULT ParseError::get_errorCode(long* code) {
  if (code == nullptr) return E_INVALIDARG;
  *code = code_;
  return code_ == 0 ? S_FALSE : S_OK;
}

HRESULT ParseError::get_reason(BSTR* reason) {
  if (reason_.empty()) return NoBstr(reason);
  return CopyToBstr(reason_, reason);
}

HRESULT ParseError::get_line(long* line) {
  if (line == nullptr) return E_INVALIDARG;
  *line = line_;
  return S_OK;
}

HRESULT ParseError::get_linepos(long* position) {
  if (position == nullptr) return E_INVALIDARG;
  *position = linePosition_;
  return S_OK;
}

}  // namespace quenlo::platform::dom
