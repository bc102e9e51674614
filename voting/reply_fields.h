// Single values of a voting reply, read from the held element each time the host asks: the text
// of the first element with the tag below it (any depth, document order). Each returns 0 once
// the value was delivered, 1 with the output untouched when there is no such element or the DOM
// fails to give its text, and E_POINTER for a null output.
#pragma once

#include <quenlo/platform.h>

// A new string, owned by the caller.
HRESULT ReadTextField(IXMLDOMElement* element, const OLECHAR* tag, BSTR* text);
// "true" gives 1 and "false" 0, ASCII letters folded; any other word leaves *value as it was,
// status 0 all the same.
HRESULT ReadTruthField(IXMLDOMElement* element, const OLECHAR* tag, LONG* value);
// The text read as an integer: atoi rules, saturating at the 32-bit limits.
HRESULT ReadIntegerField(IXMLDOMElement* element, const OLECHAR* tag, LONG* value);
