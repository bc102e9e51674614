#include <vector>

#include "dom_test_support.h"

namespace quenlo {

namespace {

class DomElementTest : public ::testing::Test {
 protected:
  Ref<IXMLDOMDocument> document_ = NewDocument();

  Ref<IXMLDOMElement> Make(std::u16string_view tag) { return NewElement(document_.get(), tag); }
};

TEST_F(DomElementTest, AttributesKeepInsertionOrderAndReplacementKeepsPosition) {
  const auto iq = Make(u"iq");
  ASSERT_EQ(S_OK, SetAttribute(iq.get(), u"type", u"set"));
  ASSERT_EQ(S_OK, SetAttribute(iq.get(), u"to", u"room@conf"));
  ASSERT_EQ(S_OK, SetAttribute(iq.get(), u"id", u"7"));
  ASSERT_EQ(S_OK, SetAttribute(iq.get(), u"type", u"get"));
  EXPECT_EQ(u"<iq type=\"get\" to=\"room@conf\" id=\"7\"/>", Xml(iq.get()));
  EXPECT_EQ(u"room@conf", AttributeOf(iq.get(), u"to"));
}

TEST_F(DomElementTest, AbsentAttributeIsFalseAndNull) {
  const auto element = Make(u"query");
  EXPECT_EQ(std::nullopt, AttributeOf(element.get(), u"type"));
  EXPECT_EQ(std::nullopt, AttributeOf(element.get(), u""));
  ASSERT_EQ(S_OK, SetAttribute(element.get(), u"type", u""));
  EXPECT_EQ(u"", AttributeOf(element.get(), u"type"));
  EXPECT_EQ(std::nullopt, AttributeOf(element.get(), u"Type"));  // names match exactly
}

TEST_F(DomElementTest, NonStringValuesAreConvertedToText) {
  const auto element = Make(u"vote");
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = -42;
  ASSERT_EQ(S_OK, element->setAttribute(MakeBstr(u"count").get(), number));
  EXPECT_EQ(u"-42", AttributeOf(element.get(), u"count"));

  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, element->setAttribute(MakeBstr(u"other").get(), null));
  EXPECT_EQ(std::nullopt, AttributeOf(element.get(), u"other"));
}

TEST_F(DomElementTest, RemoveAttribute) {
  const auto element = Make(u"a");
  ASSERT_EQ(S_OK, SetAttribute(element.get(), u"x", u"1"));
  ASSERT_EQ(S_OK, SetAttribute(element.get(), u"y", u"2"));
  EXPECT_EQ(S_OK, element->removeAttribute(MakeBstr(u"x").get()));
  EXPECT_EQ(S_FALSE, element->removeAttribute(MakeBstr(u"x").get()));
  EXPECT_EQ(u"<a y=\"2\"/>", Xml(element.get()));
}

TEST_F(DomElementTest, TextXmlCannotCarryIsRefusedAndChangesNothing) {
  const auto element = Make(u"caption");
  ASSERT_EQ(S_OK, element->put_text(MakeBstr(u"kept").get()));
  ASSERT_EQ(S_OK, SetAttribute(element.get(), u"a", u"kept"));
  const std::u16string refused[] = {
      std::u16string(u"x\u0001y"),         std::u16string(1, u'\0'),
      std::u16string(1, char16_t{0xD800}), std::u16string(1, char16_t{0xDC00}) + u"x",
      std::u16string(1, char16_t{0xFFFE}), std::u16string(1, char16_t{0xFFFF})};
  for (const std::u16string& text : refused) {
    EXPECT_EQ(E_INVALIDARG, element->put_text(MakeBstr(text).get()));
    EXPECT_EQ(E_INVALIDARG, SetAttribute(element.get(), u"a", text));
    EXPECT_EQ(E_INVALIDARG, SetAttribute(element.get(), u"b", text));
  }
  EXPECT_EQ(u"<caption a=\"kept\">kept</caption>", Xml(element.get()));
  // Tab, CR, LF and a proper surrogate pair are fine.
  EXPECT_EQ(S_OK, element->put_text(MakeBstr(u"\t\r\n\U0001F600").get()));
  EXPECT_EQ(E_INVALIDARG, SetAttribute(element.get(), u"bad name", u"v"));
  EXPECT_EQ(E_INVALIDARG, SetAttribute(element.get(), u"", u"v"));
}

// Long texts are checked several units at a time: each unit at every offset of a 25-unit text,
// the edges of the ranges a text may hold on either side, and a surrogate pair split across two
// groups of units.
TEST_F(DomElementTest, TextXmlCannotCarryIsRefusedWhereverItStands) {
  const auto element = Make(u"caption");
  const std::u16string plain = u"A subject to choose, 25 u";
  const std::u16string refused[] = {
      std::u16string(1, char16_t{0x0000}), std::u16string(1, char16_t{0x0001}),
      std::u16string(1, char16_t{0x001F}), std::u16string(1, char16_t{0xD800}),
      std::u16string(1, char16_t{0xDBFF}), std::u16string(1, char16_t{0xDC00}),
      std::u16string(1, char16_t{0xFFFE}), std::u16string(1, char16_t{0xFFFF})};
  const std::u16string accepted[] = {std::u16string(1, char16_t{0x0020}),
                                     std::u16string(1, char16_t{0xD7FF}),
                                     std::u16string(1, char16_t{0xE000}),
                                     std::u16string(1, char16_t{0xFFFD}),
                                     u"\t",
                                     u"\U0001F600"};
  for (std::size_t at = 0; at <= plain.size(); ++at) {
    const std::u16string before = plain.substr(0, at);
    const std::u16string after = plain.substr(at);
    for (const std::u16string& unit : refused) {
      const std::u16string text = before + unit + after;
      EXPECT_EQ(E_INVALIDARG, element->put_text(MakeBstr(text).get())) << at;
      EXPECT_EQ(E_INVALIDARG, SetAttribute(element.get(), u"a", text)) << at;
    }
    for (const std::u16string& unit : accepted) {
      const std::u16string text = before + unit + after;
      EXPECT_EQ(S_OK, element->put_text(MakeBstr(text).get())) << at;
      EXPECT_EQ(S_OK, SetAttribute(element.get(), u"a", text)) << at;
    }
  }
}

TEST_F(DomElementTest, PutTextReplacesAllChildren) {
  const auto parent = Make(u"subjects");
  const auto child = Make(u"subject");
  Append(parent.get(), child.get());
  ASSERT_EQ(S_OK, parent->put_text(MakeBstr(u"plain").get()));
  EXPECT_EQ(u"<subjects>plain</subjects>", Xml(parent.get()));
  IXMLDOMNode* parentOfChild = nullptr;
  EXPECT_EQ(S_FALSE, child->get_parentNode(&parentOfChild));
  EXPECT_EQ(1u, ReferencesOf(child.get()));

  ASSERT_EQ(S_OK, parent->put_text(nullptr));
  VARIANT_BOOL has = VARIANT_TRUE;
  EXPECT_EQ(S_FALSE, parent->hasChildNodes(&has));
  EXPECT_EQ(VARIANT_FALSE, has);
  EXPECT_EQ(u"<subjects/>", Xml(parent.get()));
}

// put_text keeps the text in the element until a caller asks for its node: the node is then its
// one child, the same on every asking, and keeps its text after the element's text is replaced.
TEST_F(DomElementTest, TextSetOnAnElementBecomesItsNodeWhenAskedFor) {
  const auto element = Make(u"caption");
  ASSERT_EQ(S_OK, element->put_text(MakeBstr(u"first").get()));
  VARIANT_BOOL has = VARIANT_FALSE;
  EXPECT_EQ(S_OK, element->hasChildNodes(&has));
  EXPECT_EQ(VARIANT_TRUE, has);
  IXMLDOMNode* raw = nullptr;
  ASSERT_EQ(S_OK, element->get_firstChild(&raw));
  const Ref<IXMLDOMNode> node(raw);
  ASSERT_EQ(S_OK, element->get_firstChild(&raw));
  EXPECT_EQ(node.get(), Ref<IXMLDOMNode>(raw).get());
  DOMNodeType type = NODE_INVALID;
  ASSERT_EQ(S_OK, node->get_nodeType(&type));
  EXPECT_EQ(NODE_TEXT, type);

  ASSERT_EQ(S_OK, element->put_text(MakeBstr(u"second, longer than the first").get()));
  BSTR text = nullptr;
  ASSERT_EQ(S_OK, node->get_text(&text));
  EXPECT_EQ(u"first", ViewOf(OwnedBstr(text).get()));
  EXPECT_EQ(u"<caption>second, longer than the first</caption>", Xml(element.get()));

  // An element appended after the text follows the text's node.
  Append(element.get(), Make(u"tail").get());
  EXPECT_EQ(u"<caption>second, longer than the first<tail/></caption>", Xml(element.get()));
  ASSERT_EQ(S_OK, element->get_text(&text));
  EXPECT_EQ(u"second, longer than the first", ViewOf(OwnedBstr(text).get()));
}

TEST_F(DomElementTest, TextIsAllDescendantTextInDocumentOrder) {
  const auto root = Parse("<r>a<x>b<y>c</y>d</x><z/>e<w><v>f</v></w></r>");
  EXPECT_EQ(u"abcdef", TextOf(root.get()));
  EXPECT_EQ(u"", TextOf(ElementsByTag(root.get(), u"z")[0].get()));
}

// As msxml reports it: white space at the two ends of the whole text is dropped, white space
// inside it and in the stored text nodes is kept.
TEST_F(DomElementTest, TextLeavesOutWhiteSpaceAtItsEnds) {
  const auto root = Parse("<r>\n\t x <a> y  </a>z\r\n</r>");
  EXPECT_EQ(u"x  y  z", TextOf(root.get()));
  EXPECT_EQ(u"y", TextOf(ElementsByTag(root.get(), u"a")[0].get()));
  const auto built = Make(u"caption");
  ASSERT_EQ(S_OK, built->put_text(MakeBstr(u" two words ").get()));
  EXPECT_EQ(u"two words", TextOf(built.get()));
  EXPECT_EQ(u"<caption> two words </caption>", Xml(built.get()));
  ASSERT_EQ(S_OK, built->put_text(MakeBstr(u" \t ").get()));
  EXPECT_EQ(u"", TextOf(built.get()));
}

TEST_F(DomElementTest, ElementsByTagNameAreDescendantsInDocumentOrder) {
  const auto root = Parse(
      "<item n='0'><a><item n='1'><item n='2'/></item></a><b><c><d><item n='3'/></d></c></b>"
      "<item n='4'/><Item n='x'/></item>");
  const auto items = ElementsByTag(root.get(), u"item");
  ASSERT_EQ(4u, items.size());  // not the root itself, and not "Item"
  EXPECT_EQ(u"1", AttributeOf(items[0].get(), u"n"));
  EXPECT_EQ(u"2", AttributeOf(items[1].get(), u"n"));
  EXPECT_EQ(u"3", AttributeOf(items[2].get(), u"n"));
  EXPECT_EQ(u"4", AttributeOf(items[3].get(), u"n"));
  EXPECT_EQ(9u, ElementsByTag(root.get(), u"*").size());
  EXPECT_TRUE(ElementsByTag(root.get(), u"missing").empty());
}

// The n attribute of the list's item at index; "-" when there is none.
std::u16string ItemN(IXMLDOMNodeList* list, long index) {
  IXMLDOMNode* node = nullptr;
  if (list->get_item(index, &node) != S_OK) return u"-";
  const Ref<IXMLDOMNode> owned(node);
  return AttributeOf(AsElement(node).get(), u"n").value_or(u"?");
}

long LengthOf(IXMLDOMNodeList* list) {
  long length = -1;
  EXPECT_EQ(S_OK, list->get_length(&length));
  return length;
}

TEST_F(DomElementTest, TagListAnswersForTheTreeAsItStandsAtEachCall) {
  const auto root = Parse("<r><a n='1'/><b><a n='2'/></b><a n='3'/></r>");
  IXMLDOMNodeList* list = nullptr;
  ASSERT_EQ(S_OK, root->getElementsByTagName(MakeBstr(u"a").get(), &list));
  const Ref<IXMLDOMNodeList> owned(list);
  // Out of order, past the end and back: each answer matches the document order.
  EXPECT_EQ(u"3", ItemN(list, 2));
  EXPECT_EQ(u"1", ItemN(list, 0));
  EXPECT_EQ(u"-", ItemN(list, 3));
  EXPECT_EQ(u"2", ItemN(list, 1));
  EXPECT_EQ(3, LengthOf(list));

  // A match added before the remembered position shifts the ones after it.
  IXMLDOMNode* b = nullptr;
  ASSERT_EQ(S_OK, list->get_item(1, &b));
  IXMLDOMNode* bElement = nullptr;
  ASSERT_EQ(S_OK, b->get_parentNode(&bElement));
  b->Release();
  const Ref<IXMLDOMNode> ownedB(bElement);
  const auto early = Make(u"a");
  ASSERT_EQ(S_OK, SetAttribute(early.get(), u"n", u"2.5"));
  Append(bElement, early.get());
  EXPECT_EQ(4, LengthOf(list));
  EXPECT_EQ(u"2.5", ItemN(list, 2));
  EXPECT_EQ(u"3", ItemN(list, 3));

  // nextNode reads on from where it stopped, through matches appended meanwhile.
  IXMLDOMNode* next = nullptr;
  for (int read = 0; read < 4; ++read) {
    ASSERT_EQ(S_OK, list->nextNode(&next));
    next->Release();
  }
  EXPECT_EQ(S_FALSE, list->nextNode(&next));
  const auto late = Make(u"a");
  ASSERT_EQ(S_OK, SetAttribute(late.get(), u"n", u"4"));
  Append(root.get(), late.get());
  ASSERT_EQ(S_OK, list->nextNode(&next));
  const Ref<IXMLDOMNode> ownedNext(next);
  EXPECT_EQ(u"4", AttributeOf(AsElement(next).get(), u"n"));

  // Emptied: nothing left, while an element held from before stays readable.
  ASSERT_EQ(S_OK, root->put_text(MakeBstr(u"gone").get()));
  EXPECT_EQ(0, LengthOf(list));
  EXPECT_EQ(u"-", ItemN(list, 0));
  EXPECT_EQ(u"2.5", AttributeOf(early.get(), u"n"));
}

TEST_F(DomElementTest, TagListOfADocumentFollowsLoads) {
  IXMLDOMNodeList* list = nullptr;
  ASSERT_EQ(S_OK, document_->getElementsByTagName(MakeBstr(u"*").get(), &list));
  const Ref<IXMLDOMNodeList> owned(list);
  EXPECT_EQ(0, LengthOf(list));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  ASSERT_EQ(S_OK, document_->loadXML(MakeBstr(u"<r n='0'><s n='1'/></r>").get(), &loaded));
  EXPECT_EQ(2, LengthOf(list));
  EXPECT_EQ(u"1", ItemN(list, 1));
  ASSERT_EQ(S_OK, document_->loadXML(MakeBstr(u"<t n='9'/>").get(), &loaded));
  EXPECT_EQ(u"9", ItemN(list, 0));
  EXPECT_EQ(1, LengthOf(list));
}

// A lookup of a tag no element of the document carries answers without walking; these are the
// ways such a tag can still turn up below a root.
TEST_F(DomElementTest, TagListFindsTagsNewToTheDocument) {
  const auto root = Make(u"r");
  IXMLDOMNodeList* list = nullptr;
  ASSERT_EQ(S_OK, root->getElementsByTagName(MakeBstr(u"late").get(), &list));
  const Ref<IXMLDOMNodeList> owned(list);
  EXPECT_EQ(0, LengthOf(list));
  const auto late = Make(u"late");
  Append(root.get(), late.get());
  EXPECT_EQ(1, LengthOf(list));

  const auto other = NewDocument();
  const auto foreign = NewElement(other.get(), u"foreign");
  const auto below = NewElement(other.get(), u"below");
  Append(foreign.get(), below.get());
  Append(late.get(), foreign.get());
  EXPECT_EQ(1u, ElementsByTag(root.get(), u"foreign").size());
  EXPECT_EQ(1u, ElementsByTag(root.get(), u"below").size());
  // Parsed text carries its own document's names into a tree made elsewhere.
  const auto parsed = Parse("<parsed><deep/></parsed>");
  Append(root.get(), parsed.get());
  EXPECT_EQ(1u, ElementsByTag(root.get(), u"deep").size());
}

TEST_F(DomElementTest, NodeListOutOfRangeAndIteration) {
  const auto root = Parse("<r><a/><b/></r>");
  IXMLDOMNodeList* list = nullptr;
  ASSERT_EQ(S_OK, root->get_childNodes(&list));
  const Ref<IXMLDOMNodeList> owned(list);
  IXMLDOMNode* node = nullptr;
  EXPECT_EQ(S_FALSE, list->get_item(2, &node));
  EXPECT_EQ(nullptr, node);
  EXPECT_EQ(S_FALSE, list->get_item(-1, &node));
  std::u16string names;
  for (int pass = 0; pass < 2; ++pass) {
    while (list->nextNode(&node) == S_OK) {
      names += TagOf(AsElement(node).get());
      node->Release();
    }
    list->reset();
  }
  EXPECT_EQ(u"abab", names);
}

TEST_F(DomElementTest, CreatedElementsHaveNoNamespaceEvenWithXmlns) {
  const auto query = Make(u"query");
  ASSERT_EQ(S_OK, SetAttribute(query.get(), u"xmlns", u"quenlo:conf:voting"));
  EXPECT_EQ(std::nullopt, NamespaceOf(query.get()));
  EXPECT_EQ(u"<query xmlns=\"quenlo:conf:voting\"/>", Xml(query.get()));
}

TEST_F(DomElementTest, ParsedElementsCarryTheirDeclaredNamespace) {
  const auto iq = Parse(
      "<iq xmlns='jabber:client' xmlns:v='quenlo:conf:voting'>"
      "<query xmlns='quenlo:conf:agenda'><item/></query><v:query/><plain xmlns=''><x/></plain>"
      "</iq>");
  EXPECT_EQ(u"jabber:client", NamespaceOf(iq.get()));
  EXPECT_EQ(u"quenlo:conf:agenda", NamespaceOf(ElementsByTag(iq.get(), u"query")[0].get()));
  EXPECT_EQ(u"quenlo:conf:agenda", NamespaceOf(ElementsByTag(iq.get(), u"item")[0].get()));
  const auto prefixed = ElementsByTag(iq.get(), u"v:query");
  ASSERT_EQ(1u, prefixed.size());
  EXPECT_EQ(u"quenlo:conf:voting", NamespaceOf(prefixed[0].get()));
  BSTR baseName = nullptr;
  ASSERT_EQ(S_OK, prefixed[0]->get_baseName(&baseName));
  EXPECT_EQ(u"query", ViewOf(OwnedBstr(baseName).get()));
  EXPECT_EQ(std::nullopt, NamespaceOf(ElementsByTag(iq.get(), u"x")[0].get()));
  // The declarations stay attributes.
  EXPECT_EQ(u"jabber:client", AttributeOf(iq.get(), u"xmlns"));
}

TEST_F(DomElementTest, AppendChildMovesAndRefusesCycles) {
  const auto a = Make(u"a");
  const auto b = Make(u"b");
  const auto c = Make(u"c");
  Append(a.get(), b.get());
  Append(b.get(), c.get());
  EXPECT_EQ(E_INVALIDARG, c->appendChild(a.get(), nullptr));
  EXPECT_EQ(E_INVALIDARG, b->appendChild(b.get(), nullptr));
  EXPECT_EQ(E_INVALIDARG, a->appendChild(nullptr, nullptr));
  Append(a.get(), c.get());  // moves c from b to a
  EXPECT_EQ(u"<a><b/><c/></a>", Xml(a.get()));
  EXPECT_EQ(2u, ReferencesOf(c.get()));  // the test and a; b let go of its reference

  IXMLDOMNode* appended = nullptr;
  ASSERT_EQ(S_OK, a->appendChild(b.get(), &appended));  // to the end again
  EXPECT_EQ(static_cast<IXMLDOMNode*>(b.get()), appended);
  appended->Release();
  EXPECT_EQ(u"<a><c/><b/></a>", Xml(a.get()));

  IXMLDOMNode* sibling = nullptr;
  ASSERT_EQ(S_OK, c->get_nextSibling(&sibling));
  EXPECT_EQ(static_cast<IXMLDOMNode*>(b.get()), sibling);
  sibling->Release();
  EXPECT_EQ(S_FALSE, b->get_nextSibling(&sibling));
}

TEST_F(DomElementTest, ChildrenMovedFromAnyPlaceLeaveBothListsInOrder) {
  const auto from = Parse("<from><a/><b/><c/><d/><e/></from>");
  const auto to = Make(u"to");
  for (const char16_t* tag : {u"c", u"e", u"a"}) {  // a middle, the last, the first
    Append(to.get(), ElementsByTag(from.get(), tag)[0].get());
  }
  EXPECT_EQ(u"<from><b/><d/></from>", Xml(from.get()));
  EXPECT_EQ(u"<to><c/><e/><a/></to>", Xml(to.get()));
  Append(from.get(), Make(u"f").get());  // the end is still found after its old last child left
  Append(from.get(), ElementsByTag(to.get(), u"c")[0].get());
  EXPECT_EQ(u"<from><b/><d/><f/><c/></from>", Xml(from.get()));
  for (const char16_t* tag : {u"e", u"a"}) {  // empties the list from its front
    Append(from.get(), ElementsByTag(to.get(), tag)[0].get());
  }
  EXPECT_EQ(u"<to/>", Xml(to.get()));
  Append(to.get(), Make(u"g").get());
  EXPECT_EQ(u"<to><g/></to>", Xml(to.get()));
  EXPECT_EQ(u"<from><b/><d/><f/><c/><e/><a/></from>", Xml(from.get()));
}

TEST_F(DomElementTest, AttributeMapHandsOutNodes) {
  const auto root = Parse("<r b='2' a='&lt;1&quot;'/>");
  IXMLDOMNamedNodeMap* map = nullptr;
  ASSERT_EQ(S_OK, root->get_attributes(&map));
  const Ref<IXMLDOMNamedNodeMap> owned(map);
  long length = 0;
  ASSERT_EQ(S_OK, map->get_length(&length));
  EXPECT_EQ(2, length);
  IXMLDOMNode* node = nullptr;
  ASSERT_EQ(S_OK, map->get_item(1, &node));
  const Ref<IXMLDOMNode> attribute(node);
  EXPECT_EQ(u"a=\"&lt;1&quot;\"", Xml(attribute.get()));
  EXPECT_EQ(u"<1\"", TextOf(attribute.get()));
  DOMNodeType type = NODE_INVALID;
  ASSERT_EQ(S_OK, attribute->get_nodeType(&type));
  EXPECT_EQ(NODE_ATTRIBUTE, type);
  EXPECT_EQ(S_FALSE, map->getNamedItem(MakeBstr(u"c").get(), &node));
  ASSERT_EQ(S_OK, map->getNamedItem(MakeBstr(u"b").get(), &node));
  EXPECT_EQ(u"2", TextOf(Ref<IXMLDOMNode>(node).get()));
}

TEST_F(DomElementTest, NodeNamesAndTypes) {
  const auto root = Parse("<p:r xmlns:p='u'>text</p:r>");
  BSTR name = nullptr;
  ASSERT_EQ(S_OK, root->get_nodeName(&name));
  EXPECT_EQ(u"p:r", ViewOf(OwnedBstr(name).get()));
  IXMLDOMNode* text = nullptr;
  ASSERT_EQ(S_OK, root->get_firstChild(&text));
  const Ref<IXMLDOMNode> owned(text);
  ASSERT_EQ(S_OK, text->get_nodeName(&name));
  EXPECT_EQ(u"#text", ViewOf(OwnedBstr(name).get()));
  Variant value;
  ASSERT_EQ(S_OK, text->get_nodeValue(value.Put()));
  EXPECT_EQ(u"text", ViewOf(value.Get().bstrVal));
  ASSERT_EQ(S_FALSE, root->get_nodeValue(value.Put()));
  EXPECT_EQ(VT_NULL, value.Get().vt);
  void* element = nullptr;
  EXPECT_EQ(E_NOINTERFACE, text->QueryInterface(IID_IXMLDOMElement, &element));
  EXPECT_EQ(nullptr, element);
  EXPECT_EQ(E_FAIL, text->appendChild(root.get(), nullptr));
}

}  // namespace

}  // namespace quenlo
