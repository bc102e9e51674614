// Number and truth values of a voting reply, read from the text of a field element each time the
// host asks (ElementHandle::TextOf). Each returns 0 once the text was read, 1 with the output
// untouched when the field is missing or the DOM fails to give its text (no text), and E_POINTER
// for a null output.
#pragma once

#include <quenlo/platform.h>

#include <optional>

#include "component/bstr.h"

namespace quenlo::confext {

// "true" gives 1 and "false" 0, ASCII letters folded; any other word leaves *value as it was,
// status 0 all the same.
HRESULT CopyTruthTo(const std::optional<Bstr>& text, LONG* value);
// The text read as an integer: atoi rules, saturating at the 32-bit limits.
HRESULT CopyIntegerTo(const std::optional<Bstr>& text, LONG* value);

}  // namespace quenlo::confext
