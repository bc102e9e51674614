// Reading attributes of received elements. An absent attribute reads as a null variant, which
// the variant conversion refuses: callers that must tell absence apart use FindAttributeText.
#pragma once

#include <optional>

#include "component/bstr.h"
#include "component/variant.h"

// The attribute's value (VT_NULL when absent); false when the DOM call fails.
bool ReadAttribute(IXMLDOMElement* element, const OLECHAR* name, Variant& value);

// The attribute's value as text, or nothing when it is absent. Throws _com_error when the DOM
// call fails or the value cannot be made a string.
std::optional<Bstr> FindAttributeText(IXMLDOMElement* element, const OLECHAR* name);
