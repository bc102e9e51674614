// The value-level work behind VariantCopy and VariantChangeType. Each function fills an empty
// result and leaves the source as it was, so the callers can commit only on success.
#pragma once

#include <platform/oleauto.h>

namespace quenlo::platform {

// The types this runtime can hold in a variant; anything else is DISP_E_BADVARTYPE.
bool IsSupportedType(VARTYPE type);

// A copy with its own string and its own interface reference.
HRESULT DuplicateVariant(const VARIANT& source, VARIANT& result);

HRESULT ConvertVariant(const VARIANT& source, USHORT flags, VARTYPE target, VARIANT& result);

}  // namespace quenlo::platform
