// The comparison every packet test relies on, on both platforms: it must see what the receiver
// would see differently, including what both DOMs' parsers drop or reorder on the way.
#include "support/xml_equivalence.h"

#include <gtest/gtest.h>

#include "component/bstr.h"

namespace {

ComPtr<IXMLDOMElement> Built(const OLECHAR* tag, const OLECHAR* text) {
  CLSID documentClass{};
  CLSIDFromProgID(OLESTR("Microsoft.XMLDOM"), &documentClass);
  ComPtr<IXMLDOMDocument> document;
  EXPECT_EQ(CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                             document.PutVoid()),
            S_OK);
  ComPtr<IXMLDOMElement> element;
  EXPECT_EQ(document->createElement(Bstr::Copy(tag).Get(), element.Put()), S_OK);
  EXPECT_EQ(element->put_text(Bstr::Copy(text).Get()), S_OK);
  return element;
}

TEST(XmlEquivalenceTest, TheOrderOfTypeAndNamespaceOnAQueryCounts) {
  const ComPtr<IXMLDOMElement> query = ParseXml("<query type='apply' xmlns='quenlo:conf:voting'/>");
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
