#include "dom_test_support.h"

namespace quenlo {

namespace {

TEST(DomDocumentTest, CreatedElementsStayOutsideTheDocument) {
  const auto document = NewDocument();
  const auto iq = NewElement(document.get(), u"iq");
  IXMLDOMElement* root = nullptr;
  EXPECT_EQ(S_FALSE, document->get_documentElement(&root));
  EXPECT_EQ(nullptr, root);
  IXMLDOMNode* parent = nullptr;
  EXPECT_EQ(S_FALSE, iq->get_parentNode(&parent));
  EXPECT_EQ(nullptr, parent);
}

TEST(DomDocumentTest, InvalidNamesAndTextAreRefused) {
  const auto document = NewDocument();
  IXMLDOMElement* element = nullptr;
  // Twice: the second time the names are known to the document, from the first.
  for (int round = 0; round < 2; ++round) {
    for (const std::u16string_view name : {u"", u"1a", u"a b", u"a<b", u":a", u"a:", u"a:b:c"}) {
      EXPECT_EQ(E_INVALIDARG, document->createElement(MakeBstr(name).get(), &element)) << "name";
      EXPECT_EQ(nullptr, element);
    }
  }
  EXPECT_EQ(E_INVALIDARG, document->createElement(nullptr, &element));
  for (const std::u16string_view name : {u"a", u"p:query", u"_x-1.2", u"\u00e9l\u00e8ve"}) {
    ASSERT_EQ(S_OK, document->createElement(MakeBstr(name).get(), &element));
    element->Release();
  }
  IXMLDOMText* text = nullptr;
  EXPECT_EQ(E_INVALIDARG, document->createTextNode(MakeBstr(u"\u0008").get(), &text));
  ASSERT_EQ(S_OK, document->createTextNode(MakeBstr(u"a&b").get(), &text));
  const Ref<IXMLDOMText> owned(text);
  EXPECT_EQ(u"a&amp;b", Xml(text));
}

TEST(DomDocumentTest, HoldsOneRootElement) {
  const auto document = NewDocument();
  const auto first = NewElement(document.get(), u"first");
  const auto second = NewElement(document.get(), u"second");
  Append(document.get(), first.get());
  EXPECT_EQ(E_FAIL, document->appendChild(second.get(), nullptr));
  IXMLDOMText* text = nullptr;
  ASSERT_EQ(S_OK, document->createTextNode(MakeBstr(u"x").get(), &text));
  const Ref<IXMLDOMText> owned(text);
  EXPECT_EQ(E_FAIL, document->appendChild(text, nullptr));
  EXPECT_EQ(E_FAIL, first->appendChild(document.get(), nullptr));
  IXMLDOMElement* root = nullptr;
  ASSERT_EQ(S_OK, document->get_documentElement(&root));
  EXPECT_EQ(first.get(), root);
  root->Release();
  IXMLDOMNode* parent = nullptr;
  ASSERT_EQ(S_OK, first->get_parentNode(&parent));
  EXPECT_EQ(static_cast<IXMLDOMNode*>(document.get()), parent);
  parent->Release();
}

TEST(DomDocumentTest, LoadXmlReplacesContent) {
  const auto document = NewDocument();
  VARIANT_BOOL success = VARIANT_FALSE;
  ASSERT_EQ(S_OK, document->loadXML(MakeBstr(u"<a><b>x</b></a>").get(), &success));
  EXPECT_EQ(VARIANT_TRUE, success);
  ASSERT_EQ(S_OK, document->loadXML(MakeBstr(u"<c>\u00e9\U0001F600</c>").get(), &success));
  EXPECT_EQ(u"<c>\u00e9\U0001F600</c>", Xml(document.get()));
  IXMLDOMNodeList* list = nullptr;
  ASSERT_EQ(S_OK, document->getElementsByTagName(MakeBstr(u"c").get(), &list));
  long length = 0;
  list->get_length(&length);
  list->Release();
  EXPECT_EQ(1, length);

  IXMLDOMParseError* error = nullptr;
  ASSERT_EQ(S_OK, document->get_parseError(&error));
  long code = -1;
  EXPECT_EQ(S_FALSE, error->get_errorCode(&code));
  EXPECT_EQ(0, code);
  error->Release();
}

TEST(DomDocumentTest, FailedLoadEmptiesTheDocumentAndSaysWhy) {
  const auto document = NewDocument();
  VARIANT_BOOL success = VARIANT_TRUE;
  ASSERT_EQ(S_OK, document->loadXML(MakeBstr(u"<a/>").get(), &success));
  EXPECT_EQ(S_FALSE, document->loadXML(MakeBstr(u"<a>\n  <b></a>").get(), &success));
  EXPECT_EQ(VARIANT_FALSE, success);
  IXMLDOMElement* root = nullptr;
  EXPECT_EQ(S_FALSE, document->get_documentElement(&root));

  IXMLDOMParseError* error = nullptr;
  ASSERT_EQ(S_OK, document->get_parseError(&error));
  const Ref<IXMLDOMParseError> owned(error);
  long code = 0;
  long line = 0;
  EXPECT_EQ(S_OK, error->get_errorCode(&code));
  EXPECT_NE(0, code);
  EXPECT_EQ(S_OK, error->get_line(&line));
  EXPECT_EQ(2, line);
  BSTR reason = nullptr;
  ASSERT_EQ(S_OK, error->get_reason(&reason));
  EXPECT_NE(std::u16string::npos, std::u16string(ViewOf(OwnedBstr(reason).get())).find(u"line 2"));

  EXPECT_EQ(S_FALSE, document->loadXML(nullptr, &success));
  EXPECT_EQ(S_FALSE, document->loadXML(MakeBstr(u"<!DOCTYPE a><a/>").get(), &success));
  IXMLDOMParseError* doctype = nullptr;
  ASSERT_EQ(S_OK, document->get_parseError(&doctype));
  EXPECT_EQ(S_OK, doctype->get_errorCode(&code));
  doctype->Release();
  long malformed = 0;
  EXPECT_EQ(S_OK, error->get_errorCode(&malformed));
  EXPECT_NE(malformed, code);  // refusals are told apart
}

TEST(DomDocumentTest, LoadXmlRefusesLoneSurrogatesAndIgnoresDeclaredEncoding) {
  const auto document = NewDocument();
  VARIANT_BOOL success = VARIANT_TRUE;
  const std::u16string lone = u"<a>" + std::u16string(1, char16_t{0xD800}) + u"</a>";
  EXPECT_EQ(S_FALSE, document->loadXML(MakeBstr(lone).get(), &success));
  ASSERT_EQ(S_OK,
            document->loadXML(
                MakeBstr(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\u20ac</a>").get(),
                &success));
  EXPECT_EQ(u"\u20ac", TextOf(document.get()));
}

TEST(DomDocumentTest, DocumentNodeBasics) {
  const auto document = NewDocument();
  DOMNodeType type = NODE_INVALID;
  ASSERT_EQ(S_OK, document->get_nodeType(&type));
  EXPECT_EQ(NODE_DOCUMENT, type);
  BSTR name = nullptr;
  ASSERT_EQ(S_OK, document->get_nodeName(&name));
  EXPECT_EQ(u"#document", ViewOf(OwnedBstr(name).get()));
  IXMLDOMDocument* owner = nullptr;
  EXPECT_EQ(S_FALSE, document->get_ownerDocument(&owner));
  EXPECT_EQ(E_FAIL, document->put_text(MakeBstr(u"x").get()));
}

}  // namespace

}  // namespace quenlo
