// The comparison every packet test relies on, on both platforms: it must see what the receiver
// would see differently, including what both DOMs' parsers drop or reorder on the way.
#include "support/xml_equivalence.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "component/bstr.h"

namespace quenlo::confext {

namespace {

// An element as the module builds one: made by a document, then given its text and attributes
// in order (the real DOM writes a parsed element's declarations first, a built one's as set).
ComPtr<IXMLDOMElement> Built(
    const OLECHAR* tag, const OLECHAR* text,
    std::initializer_list<std::pair<const OLECHAR*, const OLECHAR*>> attributes = {}) {
  CLSID documentClass{};
  CLSIDFromProgID(OLESTR("Microsoft.XMLDOM"), &documentClass);
  ComPtr<IXMLDOMDocument> document;
  EXPECT_EQ(CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                             document.PutVoid()),
            S_OK);
  ComPtr<IXMLDOMElement> element;
  EXPECT_EQ(document->createElement(Bstr::Copy(tag).Get(), element.Put()), S_OK);
  EXPECT_EQ(element->put_text(Bstr::Copy(text).Get()), S_OK);
  for (const auto& [name, value] : attributes) {
    const Bstr written = Bstr::Copy(value);
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_BSTR;
    variant.bstrVal = written.Get();
    EXPECT_EQ(element->setAttribute(Bstr::Copy(name).Get(), variant), S_OK);
  }
  return element;
}

TEST(XmlEquivalenceTest, TheOrderOfTypeAndNamespaceOnAQueryCounts) {
  const ComPtr<IXMLDOMElement> query =
      Built(OLESTR("query"), OLESTR(""),
            {{OLESTR("type"), OLESTR("apply")}, {OLESTR("xmlns"), OLESTR("quenlo:conf:voting")}});
  EXPECT_TRUE(XmlEquivalent(query.Get(), "<query type='apply' xmlns='quenlo:conf:voting'/>"));
  EXPECT_FALSE(XmlEquivalent(query.Get(), "<query xmlns='quenlo:conf:voting' type='apply'/>"));
}

TEST(XmlEquivalenceTest, TextOfSpacesOnlyIsNotTakenForNone) {
  const ComPtr<IXMLDOMElement> spaces = Built(OLESTR("subject"), OLESTR("   "));
  EXPECT_TRUE(XmlEquivalent(spaces.Get(), "<subject>   </subject>"));
  EXPECT_FALSE(XmlEquivalent(spaces.Get(), "<subject/>"));
  EXPECT_FALSE(XmlEquivalent(spaces.Get(), "<subject> </subject>"));
  const ComPtr<IXMLDOMElement> empty = Built(OLESTR("subject"), OLESTR(""));
  EXPECT_FALSE(XmlEquivalent(empty.Get(), "<subject>   </subject>"));
}

}  // namespace

}  // namespace quenlo::confext
