// Builders of request packets. Each hands back the new element with one reference for the caller,
// or an empty pointer when the shared document cannot be created or a DOM call fails, including
// setting an attribute or text that XML cannot carry and appending to the parent: nothing
// unsendable or incomplete is ever built. Only allocation failures raise
// _com_error(E_OUTOFMEMORY). Null texts stand for empty ones.
#pragma once

#include "component/com_ptr.h"
#include "component/ole_text.h"

// An "iq" element with the attributes "type", "to" and "id", in that order.
ComPtr<IXMLDOMElement> CreateIq(OleText to, OleText type, OleText id);

// A "query" element with "type" (left out when empty) and then "xmlns", appended as the last
// child of iq.
ComPtr<IXMLDOMElement> AddQuery(IXMLDOMElement* iq, OleText queryNamespace, OleText type);

// An element whose content is text (none when empty), appended as the last child of parent
// when one is given.
ComPtr<IXMLDOMElement> AddChild(IXMLDOMElement* parent, const OLECHAR* tag, OleText text);

// Sets a string attribute; false when the DOM refuses it.
bool SetAttributeText(IXMLDOMElement* element, const OLECHAR* name, OleText value);
