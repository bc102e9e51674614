#include <platform/codepage.h>

#include <chrono>
#include <string>

#include "dom_test_support.h"

namespace quenlo {

namespace {

XmlParseResult ParseWith(std::string_view utf8, const XmlParseLimits& limits,
                         Ref<IXMLDOMElement>* root = nullptr) {
  IXMLDOMElement* element = nullptr;
  const XmlParseResult result = XmlParseElement(utf8, limits, &element);
  if (result.status != XmlParseStatus::Ok) {
    EXPECT_EQ(nullptr, element);
  }
  if (root != nullptr) {
    root->reset(element);
  } else if (element != nullptr) {
    element->Release();
  }
  return result;
}

XmlParseResult ParseWithDefaults(std::string_view utf8) {
  return ParseWith(utf8, XmlGetDefaultParseLimits());
}

bool Mentions(const XmlParseResult& result, std::string_view text) {
  return result.message.find(text) != std::string::npos;
}

TEST(XmlParserTest, WhiteSpaceBetweenElementsIsDropped) {
  const auto root = Parse("<iq>\n  <query>\n    <a> keep  me </a>\n  </query>\n</iq>");
  EXPECT_EQ(u"<iq><query><a> keep  me </a></query></iq>", Xml(root.get()));
  EXPECT_EQ(u"<a>x <b/> y</a>", Xml(Parse("<a>x <b/> y</a>").get()));
}

TEST(XmlParserTest, PredefinedEntitiesCharacterReferencesAndCdata) {
  const auto root =
      Parse("<a t='&lt;&gt;&amp;&quot;&apos;&#x41;&#66;'>&lt;&#x1F600;&#233;<![CDATA[<&>]]></a>");
  EXPECT_EQ(u"<>&\"'AB", AttributeOf(root.get(), u"t"));
  EXPECT_EQ(u"<\U0001F600\u00e9<&>", TextOf(root.get()));
}

TEST(XmlParserTest, NonAsciiUtf8IsDecoded) {
  const auto root = Parse("<r \xC3\xA9=\"\xE2\x82\xAC\">\xF0\x9F\x98\x80\xE4\xB8\xAD</r>");
  EXPECT_EQ(u"\u20ac", AttributeOf(root.get(), u"\u00e9"));
  EXPECT_EQ(u"\U0001F600\u4e2d", TextOf(root.get()));
}

TEST(XmlParserTest, MalformedTextIsRefusedWithWhere) {
  for (const std::string_view text :
       {"", "<a>", "<a></b>", "<a x='1' x='2'/>", "<a>&unknown;</a>", "<a>&#1;</a>", "<a/><b/>",
        "text", "<a>\xFF</a>", "<a>\xEF\xBF\xBE</a>", "<a>&#xFFFF;</a>", "<p:a/>", "<a p:x='1'/>",
        "<a xmlns:p=''/>", "<a:b:c xmlns:a='u'/>", "<:a/>"}) {
    const XmlParseResult result = ParseWithDefaults(text);
    EXPECT_EQ(XmlParseStatus::Malformed, result.status) << text;
    EXPECT_TRUE(Mentions(result, "line")) << result.message;
  }
  EXPECT_TRUE(Mentions(ParseWithDefaults("<p:a/>"), "undeclared namespace prefix"));
}

// UTF-8 replies are read by pugixml where the platform can vouch for the text, by expat
// otherwise; loadXML reads the same text as UTF-16 with expat alone. Each text here sits on
// one of the lines the quicker reader must not cross, and must come out the same both ways.
Ref<IXMLDOMElement> LoadedRoot(std::string_view utf8) {
  const Ref<IXMLDOMDocument> document = NewDocument();
  std::u16string wide(utf8.size(), u'\0');
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                         wide.data(), static_cast<int>(wide.size()));
  EXPECT_TRUE(utf8.empty() || length > 0) << utf8;
  wide.resize(static_cast<std::size_t>(length));
  VARIANT_BOOL success = VARIANT_FALSE;
  EXPECT_EQ(S_OK, document->loadXML(MakeBstr(wide).get(), &success)) << utf8;
  IXMLDOMElement* root = nullptr;
  document->get_documentElement(&root);
  return Ref<IXMLDOMElement>(root);
}

// The quicker reader's tree (XmlParseElement) is the one expat alone makes (loadXML).
void ExpectReadersAgree(std::string_view text) {
  Ref<IXMLDOMElement> root;
  ASSERT_EQ(XmlParseStatus::Ok, ParseWith(text, XmlGetDefaultParseLimits(), &root).status) << text;
  const Ref<IXMLDOMElement> loaded = LoadedRoot(text);
  ASSERT_NE(nullptr, loaded.get()) << text;
  EXPECT_EQ(Xml(loaded.get()), Xml(root.get())) << text;
}

TEST(XmlParserTest, EitherReaderMakesTheSameTree) {
  for (const std::string_view text :
       {"<a>x\r\ny\rz</a>", "<a v='x\r\ny\rz\tw\n'/>", "<a v='&#13;&#10;&#9;'>&#13;</a>",
        "<a v='&#x4a;&#x4A;' w='&#x0000041;'>&#0000065;&#x10FFFF;</a>", "<a>]] ] > </a>",
        "<a v='>]]>'/>", "\n <a></a >\r\n", "<a/><!---->", "<a><!-- c --><b/></a>",
        "<?xml version='1.0'?><a/>", "<a><?p i?>x</a>", "<a><![CDATA[<&]]>y</a>",
        "<a a1='1' a2='2' a3='3' a4='4' a5='5' a6='6' a7='7' a8='8' a9='9' a10='10' a11='11' "
        "a12='12' a13='13' a14='14' a15='15' a16='16' a17='17'/>",
        "<p:a xmlns:p='urn:p' xmlns='urn:d'><b p:x='1'/><c xmlns=''/></p:a>",
        // Beyond ASCII as it stands, behind a reference, and through one.
        "<a v='\xC3\xA9t\xC3\xA9' w='x&amp;\xE2\x82\xAC'>caf\xC3\xA9 &lt; \xF0\x9F\x98\x80</a>",
        "<a v='&#233;' w='A&#66;'>&#x20AC;<b>\xE4\xB8\xAD</b></a>",
        // Text first, between and after child elements, alone, and behind references.
        "<a>x<b>y</b>z<c/>w<d>v<e/></d></a>", "<a>x &amp; y<b>&lt;</b>&gt;</a>", "<a><b/>x</a>"}) {
    ExpectReadersAgree(text);
  }
}

// The quick reader looks at texts and values many bytes at a time: whatever it must act on is
// found wherever it stands in a text, and texts of every length come out whole.
TEST(XmlParserTest, ReadersAgreeWhereverAReferenceOrLineEndStands) {
  const std::string plain = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
  for (const std::string_view special : {"&amp;", "\r\n", "\xC3\xA9", "\t", "]"}) {
    for (std::size_t at = 0; at <= plain.size(); ++at) {
      const std::string content = plain.substr(0, at) + std::string(special) + plain.substr(at);
      const std::string text =
          "<a v='" + content + "'>" + content + "<b>" + plain.substr(0, at) + "</b></a>";
      ExpectReadersAgree(text);
    }
  }
  for (std::size_t at = 0; at <= plain.size(); ++at) {
    const std::string before = plain.substr(0, at);
    const std::string after = plain.substr(at);
    for (const std::string& text :
         {"<a>" + before + "]]>" + after + "</a>", "<a v='" + before + "<" + after + "'/>",
          "<a>" + before + "&" + after + "</a>"}) {
      EXPECT_EQ(XmlParseStatus::Malformed, ParseWithDefaults(text).status) << text;
    }
  }
}

// Short names are found by their bytes once a parse has met them. Names met again, alike in part
// or in whole, read as they did the first time, and a prefix is still looked up.
TEST(XmlParserTest, NamesMetAgainReadAsTheFirstTime) {
  std::string names;
  for (std::size_t length = 1; length <= 17; ++length) {
    names += "<" + std::string(length, 'n') + " " + std::string(length, 'a') + "='1'/>";
    names += "<" + std::string(length - 1, 'n') + "m x" + std::string(length, 'a') + "='2'/>";
  }
  const std::string text = "<r xmlns:p='urn:p'>" + names + "<p:e p:v='3'/></r>";
  for (int round = 0; round < 3; ++round) {
    Ref<IXMLDOMElement> root;
    ASSERT_EQ(XmlParseStatus::Ok, ParseWith(text, XmlGetDefaultParseLimits(), &root).status);
    EXPECT_EQ(Xml(LoadedRoot(text).get()), Xml(root.get())) << "round " << round;
    const auto prefixed = ElementsByTag(root.get(), u"p:e");
    ASSERT_EQ(1u, prefixed.size());
    EXPECT_EQ(u"urn:p", NamespaceOf(prefixed[0].get()));
  }
  EXPECT_EQ(XmlParseStatus::Malformed, ParseWithDefaults("<p:e/>").status);
  EXPECT_EQ(XmlParseStatus::Malformed, ParseWithDefaults("<r p:v='3'/>").status);
}

// Namespace texts kept from parse to parse: more than are kept at once, texts of one length that
// differ in their last byte, the longest kept and one byte longer, and one beyond ASCII.
TEST(XmlParserTest, NamespacesMetAgainResolveAsTheFirstTime) {
  const auto ascii = [](std::string_view text) {
    return std::pair{std::string(text), std::u16string(text.begin(), text.end())};
  };
  const std::pair<std::string, std::u16string> uris[] = {
      ascii("urn:quenlo:conf:voting1"), ascii("urn:quenlo:conf:voting2"),
      ascii("urn:quenlo:conf:agenda"),  ascii(std::string(96, 'u')),
      ascii(std::string(97, 'u')),      {"urn:r\xC3\xA9union", u"urn:r\u00E9union"},
      ascii("urn:x")};
  constexpr std::size_t kCount = std::size(uris);
  for (std::size_t round = 0; round < 2 * kCount; ++round) {
    std::string text = "<r>";
    for (std::size_t index = 0; index < kCount; ++index) {
      const std::string& uri = uris[(index + round) % kCount].first;
      text += index % 2 == 0 ? "<e xmlns='" + uri + "'/>" : "<p:e xmlns:p='" + uri + "'/>";
    }
    text += "</r>";
    Ref<IXMLDOMElement> root;
    ASSERT_EQ(XmlParseStatus::Ok, ParseWith(text, XmlGetDefaultParseLimits(), &root).status);
    const auto elements = ElementsByTag(root.get(), u"*");
    ASSERT_EQ(kCount, elements.size());
    for (std::size_t index = 0; index < kCount; ++index) {
      EXPECT_EQ(uris[(index + round) % kCount].second, NamespaceOf(elements[index].get()))
          << "round " << round << ", element " << index;
    }
  }
}

TEST(XmlParserTest, WhatOnlyExpatCatchesIsRefused) {
  for (const std::string_view text :
       {"<a>]]></a>",
        "<a v='<'/>",
        "<a>&</a>",
        "<a>& b;</a>",
        "<a>&ampx;</a>",
        "<a>&#0;</a>",
        "<a>&#xD800;</a>",
        "<a>&#x110000;</a>",
        "<a>&#12345678;</a>",
        "<a>&#x;</a>",
        "<a>&#X41;</a>",
        "<a/>x",
        "<a/>x>",
        "x<a/>",
        "<a/><!--",
        "<a/><!-- -- -->",
        "<a>\x01</a>",
        "<a v='\x0b'/>",
        "<a\xC3\xA9\xFF/>",
        "<a>\xED\xA0\x80</a>",
        "<a a1='1' a2='2' a3='3' a4='4' a5='5' a6='6' a7='7' a8='8' a9='9' a10='10' a11='11' "
        "a12='12' a13='13' a14='14' a15='15' a16='16' a1='17'/>",
        "\xEF\xBB\xBF<a/>\xEF\xBB\xBF"}) {
    const XmlParseResult result = ParseWithDefaults(text);
    EXPECT_EQ(XmlParseStatus::Malformed, result.status) << text;
    EXPECT_TRUE(Mentions(result, "line")) << result.message;
  }
  // A refusal found while building (depth, namespaces) still says where expat found it.
  const XmlParseResult deep = ParseWith("<a>\n <b><c/></b></a>", {.maxBytes = 100, .maxDepth = 2});
  EXPECT_EQ(XmlParseStatus::TooDeep, deep.status);
  EXPECT_TRUE(Mentions(deep, "line 2, column 5")) << deep.message;
}

TEST(XmlParserTest, DoctypeIsRefused) {
  const XmlParseResult result = ParseWithDefaults("<!DOCTYPE a [<!ELEMENT a ANY>]><a/>");
  EXPECT_EQ(XmlParseStatus::DoctypeRefused, result.status);
  EXPECT_TRUE(Mentions(result, "document type declaration")) << result.message;
  EXPECT_EQ(XmlParseStatus::DoctypeRefused,
            ParseWithDefaults("<!DOCTYPE a SYSTEM 'file:///etc/passwd'><a/>").status);
}

TEST(XmlParserTest, EntityDeclarationsAreRefusedBeforeAnyExpansion) {
  const XmlParseResult laughs = ParseWithDefaults(
      "<!DOCTYPE a [<!ENTITY l0 'ha'><!ENTITY l1 '&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;'>]>"
      "<a>&l1;</a>");
  EXPECT_EQ(XmlParseStatus::EntityRefused, laughs.status);
  EXPECT_TRUE(Mentions(laughs, "entity declaration")) << laughs.message;
  EXPECT_EQ(XmlParseStatus::EntityRefused,
            ParseWithDefaults("<!DOCTYPE a [<!ENTITY % p 'x'>]><a/>").status);
  EXPECT_EQ(
      XmlParseStatus::EntityRefused,
      ParseWithDefaults("<!DOCTYPE a [<!ENTITY e SYSTEM 'file:///etc/passwd'>]><a>&e;</a>").status);
}

TEST(XmlParserTest, SizeLimitIsExactAndCheckedFirst) {
  const std::string text = "<a>" + std::string(93, 'x') + "</a>";  // 100 bytes
  EXPECT_EQ(XmlParseStatus::Ok, ParseWith(text, {.maxBytes = 100, .maxDepth = 8}).status);
  const XmlParseResult result = ParseWith(text, {.maxBytes = 99, .maxDepth = 8});
  EXPECT_EQ(XmlParseStatus::TooLarge, result.status);
  EXPECT_TRUE(Mentions(result, "99 bytes")) << result.message;
  // Size comes before well-formedness: nothing of an oversized input is read.
  EXPECT_EQ(XmlParseStatus::TooLarge, ParseWith("<<<<", {.maxBytes = 3, .maxDepth = 8}).status);
}

TEST(XmlParserTest, HundredMegabytesAreRefusedAtOnce) {
  const std::string huge(100u << 20, ' ');
  const OwnedBstr wide = MakeBstr(std::u16string(100u << 20, u' '));
  const auto document = NewDocument();
  VARIANT_BOOL success = VARIANT_TRUE;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(XmlParseStatus::TooLarge, ParseWithDefaults(huge).status);
  const auto loadStart = std::chrono::steady_clock::now();
  EXPECT_EQ(S_FALSE, document->loadXML(wide.get(), &success));
  const auto end = std::chrono::steady_clock::now();
  // Measuring a UTF-16 input stops just past the limit instead of converting all of it.
  EXPECT_LT(loadStart - start, std::chrono::milliseconds(50));
  EXPECT_LT(end - loadStart, std::chrono::milliseconds(50));
  IXMLDOMParseError* error = nullptr;
  ASSERT_EQ(S_OK, document->get_parseError(&error));
  long code = 0;
  error->get_errorCode(&code);
  error->Release();
  EXPECT_EQ(MakeHresult(0x80040200u + static_cast<unsigned>(XmlParseStatus::TooLarge)), code);
}

TEST(XmlParserTest, LoadXmlCountsTheLimitInUtf8Bytes) {
  const XmlParseLimits saved = XmlGetDefaultParseLimits();
  XmlSetDefaultParseLimits({.maxBytes = 11, .maxDepth = 8});
  const auto document = NewDocument();
  VARIANT_BOOL success = VARIANT_FALSE;
  EXPECT_EQ(S_OK, document->loadXML(MakeBstr(u"<a>\u00e9\u00e9</a>").get(), &success));  // 11 bytes
  EXPECT_EQ(S_FALSE, document->loadXML(MakeBstr(u"<a>\u20ac\u20ac</a>").get(),
                                       &success));  // 9 units, 13 bytes
  XmlSetDefaultParseLimits(saved);
  EXPECT_EQ(saved.maxBytes, XmlGetDefaultParseLimits().maxBytes);
}

std::string Nested(std::size_t depth) {
  std::string text;
  for (std::size_t level = 0; level < depth; ++level) text += "<e>";
  for (std::size_t level = 0; level < depth; ++level) text += "</e>";
  return text;
}

TEST(XmlParserTest, DepthLimitIsExact) {
  const XmlParseLimits limits{.maxBytes = 1 << 20, .maxDepth = 5};
  EXPECT_EQ(XmlParseStatus::Ok, ParseWith(Nested(5), limits).status);
  const XmlParseResult result = ParseWith(Nested(6), limits);
  EXPECT_EQ(XmlParseStatus::TooDeep, result.status);
  EXPECT_TRUE(Mentions(result, "deeper than 5")) << result.message;
}

TEST(XmlParserTest, HundredThousandDeepNestingIsRefusedQuickly) {
  const std::string deep = Nested(100'000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(XmlParseStatus::TooDeep, ParseWithDefaults(deep).status);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  // Even with the limits lifted, nothing recurses on depth.
  Ref<IXMLDOMElement> root;
  ASSERT_EQ(XmlParseStatus::Ok,
            ParseWith(deep, {.maxBytes = 1 << 30, .maxDepth = 1 << 30}, &root).status);
  EXPECT_EQ(deep.size() - 3, Xml(root.get()).size());  // the innermost is written "<e/>"
}

}  // namespace

}  // namespace quenlo
