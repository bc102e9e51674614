// Number and truth values of a voting reply, read from the text of a field element each time the
// host asks (RecordFields::ReadText). Each returns 0 once the text was read, 1 with the output
// untouched when the field is missing or the DOM fails to give its text, E_OUTOFMEMORY with the
// output untouched when memory ran out reading it, and E_POINTER for a null output.
#pragma once

#include <quenlo/platform.h>

#include <cstddef>

#include "xml/record_fields.h"

namespace quenlo::confext {

// "true" gives 1 and "false" 0, ASCII letters folded; any other word leaves *value as it was,
// status 0 all the same.
HRESULT CopyTruthTo(const RecordFields& fields, IXMLDOMElement* record, std::size_t field,
                    LONG* value);
// The text read as an integer: atoi rules, saturating at the 32-bit limits.
HRESULT CopyIntegerTo(const RecordFields& fields, IXMLDOMElement* record, std::size_t field,
                      LONG* value);

}  // namespace quenlo::confext
