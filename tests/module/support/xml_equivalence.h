// Reading and comparing XML in tests by meaning: tag names, attribute names, values and order,
// texts, and children in order. Expected trees are written as XML text and parsed by the
// platform's DOM (loadXML); both trees are walked through the msxml interfaces only.
#pragma once

#include <gtest/gtest.h>

#include "component/com_ptr.h"

// The root element of the UTF-8 text, parsed into a new document; empty when refused.
ComPtr<IXMLDOMElement> ParseXml(const char* utf8);

// Success when actual has the same tree as expectedXml; otherwise says where they part.
::testing::AssertionResult XmlEquivalent(IXMLDOMElement* actual, const char* expectedXml);
