#include "voting/reply_fields.h"

#include "session/integer_text.h"

namespace quenlo::confext {

HRESULT CopyTruthTo(const RecordFields& fields, IXMLDOMElement* record, std::size_t field,
                    LONG* value) {
  if (value == nullptr) return E_POINTER;
  Bstr text;
  if (const HRESULT read = fields.ReadText(record, field, text); read != S_OK) return read;
  if (EqualsIgnoringAsciiCase(text.View(), OLESTR("true"))) {
    *value = 1;
  } else if (EqualsIgnoringAsciiCase(text.View(), OLESTR("false"))) {
    *value = 0;
  }
  return S_OK;
}

HRESULT CopyIntegerTo(const RecordFields& fields, IXMLDOMElement* record, std::size_t field,
                      LONG* value) {
  if (value == nullptr) return E_POINTER;
  Bstr text;
  if (const HRESULT read = fields.ReadText(record, field, text); read != S_OK) return read;
  *value = ParseIntegerText(text.View());
  return S_OK;
}

}  // namespace quenlo::confext
