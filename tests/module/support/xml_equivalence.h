// Reading and comparing XML in tests by meaning: tag names, namespaces, attribute names, values
// and order, texts, and children in order. Expected trees are written as XML text and parsed by the
// platform's DOM (loadXML); both trees are walked through the msxml interfaces only.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "component/bstr.h"
#include "component/com_ptr.h"

namespace quenlo::confext {

// A node's name, and the stored text of a text or attribute node, untouched (msxml's get_text
// trims white space), as UTF-8.
std::string NameOf(IXMLDOMNode* node);
std::string ValueOf(IXMLDOMNode* node);

// The UTF-8 text as a BSTR.
Bstr Utf8ToBstr(const char* utf8);

// The root element of the UTF-8 text, parsed into a new document; empty when refused.
ComPtr<IXMLDOMElement> ParseXml(const char* utf8);

// Success when actual, written out and read back, has the same tree as expectedXml; otherwise
// says where they part.
::testing::AssertionResult XmlEquivalent(IXMLDOMElement* actual, const char* expectedXml);
inline ::testing::AssertionResult XmlEquivalent(IXMLDOMElement* actual,
                                                const std::string& expectedXml) {
  return XmlEquivalent(actual, expectedXml.c_str());
}

// The element or document written out by the platform's DOM, as UTF-8.
std::string SerialisedXml(IXMLDOMNode* node);

// Whether the platform's DOM hands out one object per node, so that a reference taken through one
// pointer shows in the count of every other. Wine's msxml makes a new object at each lookup; tests
// that count the references held on a node need the former.
bool DomKeepsNodeIdentity();

}  // namespace quenlo::confext
