#include "dom_test_support.h"

namespace quenlo {

namespace {

TEST(ComTest, ProgIdsOfTheDocument) {
  for (const std::u16string_view progId :
       {u"Microsoft.XMLDOM", u"microsoft.xmldom", u"Microsoft.XMLDOM.1.0", u"MSXML.DOMDocument"}) {
    CLSID clsid{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(std::u16string(progId).c_str(), &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_DOMDocument, clsid));
  }
}

TEST(ComTest, UnknownProgIdsGiveClassStringAndZeroedIdentifier) {
  for (const std::u16string_view progId :
       {u"", u"Microsoft.XMLDOMX", u"Microsoft.XMLDO", u"Msxml2.DOMDocument.6.0"}) {
    CLSID clsid = CLSID_DOMDocument;
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(std::u16string(progId).c_str(), &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID{}, clsid));
  }
  CLSID clsid{};
  EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(nullptr, &clsid));
}

TEST(ComTest, CreatesDocumentsWithTheRequestedInterface) {
  EXPECT_EQ(S_OK, CoInitialize(nullptr));
  for (const IID& iid : {IID_IUnknown, IID_IXMLDOMNode, IID_IXMLDOMDocument}) {
    void* object = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DOMDocument, nullptr, 7, iid, &object));
    auto* unknown = static_cast<IUnknown*>(object);
    EXPECT_EQ(1u, ReferencesOf(unknown));
    void* document = nullptr;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IXMLDOMDocument, &document));
    EXPECT_EQ(1u, static_cast<IUnknown*>(document)->Release());
    EXPECT_EQ(0u, unknown->Release());
  }
  CoUninitialize();
}

TEST(ComTest, CreationFailures) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(IID_IXMLDOMNode, nullptr, CLSCTX_ALL, IID_IUnknown, &object));
  EXPECT_EQ(nullptr, object);
  const auto outer = NewDocument();
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            CoCreateInstance(CLSID_DOMDocument, outer.get(), CLSCTX_ALL, IID_IUnknown, &object));
  EXPECT_EQ(nullptr, object);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE,
            CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMElement, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(1u, ReferencesOf(outer.get()));
}

}  // namespace

}  // namespace quenlo
