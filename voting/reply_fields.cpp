#include "voting/reply_fields.h"

#include "session/integer_text.h"

namespace quenlo::confext {

HRESULT CopyTruthTo(const std::optional<Bstr>& text, LONG* value) {
  if (value == nullptr) return E_POINTER;
  if (!text) return S_FALSE;
  if (EqualsIgnoringAsciiCase(text->View(), OLESTR("true"))) {
    *value = 1;
  } else if (EqualsIgnoringAsciiCase(text->View(), OLESTR("false"))) {
    *value = 0;
  }
  return S_OK;
}

HRESULT CopyIntegerTo(const std::optional<Bstr>& text, LONG* value) {
  if (value == nullptr) return E_POINTER;
  if (!text) return S_FALSE;
  *value = ParseIntegerText(text->View());
  return S_OK;
}

}  // namespace quenlo::confext
