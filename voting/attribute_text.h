// The text of an attribute value that a result object keeps from its subjects. The value is
// copied straight out of the string the DOM handed over; any other kind goes through the
// platform's variant conversion. An absent attribute (a null value) does not convert: it raises
// _com_error, which abandons the result object.
#pragma once

#include "component/ole_text.h"
#include "component/variant.h"

OleString AttributeText(const Variant& value);
