#include "dom_test_support.h"

namespace quenlo {

namespace {

class XmlSerializerTest : public ::testing::Test {
 protected:
  Ref<IXMLDOMDocument> document_ = NewDocument();

  Ref<IXMLDOMElement> Child(IXMLDOMElement* parent, std::u16string_view tag,
                            std::u16string_view text) {
    auto element = NewElement(document_.get(), tag);
    EXPECT_EQ(S_OK, element->put_text(MakeBstr(text).get()));
    if (parent != nullptr) Append(parent, element.get());
    return element;
  }
};

// The byte layout is what the server reads, so it is compared exactly here.
TEST_F(XmlSerializerTest, RequestLayout) {
  const auto iq = NewElement(document_.get(), u"iq");
  SetAttribute(iq.get(), u"type", u"set");
  SetAttribute(iq.get(), u"to", u"room@conference.example");
  SetAttribute(iq.get(), u"id", u"42");
  const auto query = NewElement(document_.get(), u"query");
  SetAttribute(query.get(), u"type", u"refer");
  SetAttribute(query.get(), u"xmlns", u"quenlo:conf:voting");
  Append(iq.get(), query.get());
  Child(query.get(), u"caption", u"Lunch?");
  const auto subjects = Child(query.get(), u"subjects", u"");
  Child(subjects.get(), u"subject", u"Pizza");
  EXPECT_EQ(
      u"<iq type=\"set\" to=\"room@conference.example\" id=\"42\">"
      u"<query type=\"refer\" xmlns=\"quenlo:conf:voting\"><caption>Lunch?</caption>"
      u"<subjects><subject>Pizza</subject></subjects></query></iq>",
      Xml(iq.get()));
}

TEST_F(XmlSerializerTest, EscapesWhatWouldChangeMeaning) {
  const auto element = Child(nullptr, u"t", u"a&b<c>d\"e'f\r\n\tg");
  SetAttribute(element.get(), u"v", u"a&b<c>d\"e'f\r\n\tg");
  EXPECT_EQ(
      u"<t v=\"a&amp;b&lt;c&gt;d&quot;e'f&#13;&#10;&#9;g\">a&amp;b&lt;c&gt;d\"e'f&#13;\n\tg</t>",
      Xml(element.get()));
}

// Texts are scanned many units at a time: a character that needs a reference is written as one
// wherever it stands, next to another or alone, and texts of every length come out whole.
TEST_F(XmlSerializerTest, EscapesWhereverTheyStand) {
  const std::u16string plain = u"abcdefghijklmnopqrstuvwxyz \u00e9\u20ac0123";
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"&", u"&amp;"},     {u"<", u"&lt;"},       {u">", u"&gt;"},
      {u"\r", u"&#13;"},    {u"\"", u"&quot;"},    {u"\t", u"&#9;"},
      {u"\n", u"&#10;"},    {u"<>", u"&lt;&gt;"}, {u"\u00e9", u"\u00e9"}};
  for (const auto& [special, inAttribute] : cases) {
    // In text, only & < > and CR are references.
    const std::u16string inText = special == u"\"" || special == u"\t" || special == u"\n"
                                      ? std::u16string(special)
                                      : std::u16string(inAttribute);
    for (std::size_t at = 0; at <= plain.size(); ++at) {
      const std::u16string before = plain.substr(0, at);
      const std::u16string after = plain.substr(at);
      const std::u16string value = before + std::u16string(special) + after;
      const auto element = Child(nullptr, u"t", value);
      SetAttribute(element.get(), u"v", value);
      EXPECT_EQ(u"<t v=\"" + before + std::u16string(inAttribute) + after + u"\">" + before +
                    inText + after + u"</t>",
                Xml(element.get()))
          << "at " << at;
    }
  }
}

TEST_F(XmlSerializerTest, RoundTripKeepsTreeTextAndAttributes) {
  const std::u16string awkward = u"\u00e9\u20ac\U0001F600 <&> \"q\" 'a' \r\n\t end ]]>";
  const auto root = NewElement(document_.get(), u"r\u00e9");
  SetAttribute(root.get(), u"z", awkward);
  SetAttribute(root.get(), u"a", u"");
  SetAttribute(root.get(), u"xmlns:p", u"urn:p");
  Child(root.get(), u"p:one", awkward);
  Child(root.get(), u"two", u"");

  const std::u16string xml = Xml(root.get());
  const auto document = NewDocument();
  VARIANT_BOOL success = VARIANT_FALSE;
  ASSERT_EQ(S_OK, document->loadXML(MakeBstr(xml).get(), &success));
  IXMLDOMElement* parsed = nullptr;
  ASSERT_EQ(S_OK, document->get_documentElement(&parsed));
  const Ref<IXMLDOMElement> reread(parsed);
  EXPECT_EQ(xml, Xml(reread.get()));
  EXPECT_EQ(awkward, AttributeOf(reread.get(), u"z"));
  EXPECT_EQ(awkward, TextOf(ElementsByTag(reread.get(), u"p:one")[0].get()));
  EXPECT_EQ(u"urn:p", NamespaceOf(ElementsByTag(reread.get(), u"p:one")[0].get()));
}

TEST_F(XmlSerializerTest, UtfEightParseOfSerialisedTextMatches) {
  const std::string utf8 =
      "<a x=\"&#9;&#10;&#13;&quot;\">&#13;\xE2\x82\xAC<b>\xF0\x9F\x98\x80</b>&amp;</a>";
  const auto first = Parse(utf8);
  const std::u16string xml = Xml(first.get());
  const auto document = NewDocument();
  VARIANT_BOOL success = VARIANT_FALSE;
  ASSERT_EQ(S_OK, document->loadXML(MakeBstr(xml).get(), &success));
  EXPECT_EQ(xml, Xml(document.get()));
  EXPECT_EQ(u"\t\n\r\"", AttributeOf(first.get(), u"x"));
}

TEST_F(XmlSerializerTest, TextNodeAndDocument) {
  IXMLDOMText* text = nullptr;
  ASSERT_EQ(S_OK, document_->createTextNode(MakeBstr(u"1 < 2").get(), &text));
  const Ref<IXMLDOMText> owned(text);
  EXPECT_EQ(u"1 &lt; 2", Xml(text));
  EXPECT_EQ(u"", Xml(document_.get()));
  const auto root = Child(nullptr, u"root", u"x");
  Append(document_.get(), root.get());
  EXPECT_EQ(u"<root>x</root>", Xml(document_.get()));
}

// Texts are written into memory the thread keeps between calls, grown as a text needs and given
// back when large: whatever came before, each text comes out whole and alone.
TEST_F(XmlSerializerTest, LargeAndSmallTextsInTurnComeOutWhole) {
  const auto small = Child(nullptr, u"s", u"a & b");
  const std::u16string smallXml = u"<s>a &amp; b</s>";
  EXPECT_EQ(smallXml, Xml(small.get()));
  for (const int children : {100, 5000, 3}) {
    const auto root = NewElement(document_.get(), u"r");
    std::u16string expected = u"<r>";
    for (int index = 0; index < children; ++index) {
      const std::u16string text(static_cast<std::size_t>(index % 40), u'<');
      Child(root.get(), u"c", text);
      expected += text.empty() ? u"<c/>" : u"<c>";
      for (std::size_t unit = 0; unit < text.size(); ++unit) expected += u"&lt;";
      if (!text.empty()) expected += u"</c>";
    }
    expected += u"</r>";
    EXPECT_EQ(expected, Xml(root.get())) << children << " children";
    EXPECT_EQ(smallXml, Xml(small.get())) << "after " << children << " children";
  }
}

}  // namespace

}  // namespace quenlo
