// Lookups through which replies are read, and the element handle built on them.
#include "xml/element_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/recording_host.h"
#include "support/xml_equivalence.h"
#include "xml/element_absence.h"
#include "xml/element_handle.h"
#include "xml/packet_builder.h"
#include "xml/record_fields.h"

namespace quenlo::confext {

namespace {

class ElementLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reply_ = ParseXml(
        "<iq from='room'><a><b><qid>deep</qid></b></a><qid>shallow</qid>"
        "<query xmlns='quenlo:conf:voting' type='kithe'><subject index='1'>one<x>+</x></subject>"
        "<subjects><subject index='2'>two</subject></subjects></query></iq>");
    ASSERT_TRUE(reply_);
  }

  static std::string Text(IXMLDOMElement* element) {
    Bstr text;
    element->get_text(text.Put());
    return ToUtf8(OleString(text.View()));
  }

  ComPtr<IXMLDOMElement> reply_;
};

TEST_F(ElementLookupTest, FindElementGivesTheFirstInDocumentOrderAtAnyDepth) {
  const ComPtr<IXMLDOMElement> qid = FindElement(reply_.Get(), OLESTR("qid"));
  ASSERT_TRUE(qid);
  EXPECT_EQ(Text(qid.Get()), "deep");
  EXPECT_FALSE(FindElement(reply_.Get(), OLESTR("missing")));
  EXPECT_FALSE(FindElement(reply_.Get(), OLESTR("QID")));  // tags match exactly
  EXPECT_FALSE(FindElement(nullptr, OLESTR("qid")));
}

// A lookup may walk the first nodes itself and leave the rest to the DOM's list: the answer must
// not depend on how far it walks, on where the match lies, how deep, or what else is named like
// it.
TEST_F(ElementLookupTest, FindElementAnswersTheSameHoweverFarItWalks) {
  std::string wide = "<r>";
  for (int field = 0; field < 40; ++field) wide += "<f>x<g/></f>";
  std::string deep = "<r>";
  for (int level = 0; level < 12; ++level) deep += "<n>";
  deep += "<qid>deep</qid>";
  for (int level = 0; level < 12; ++level) deep += "</n>";
  const struct {
    std::string xml;
    const char* expected;  // null: no match
  } cases[] = {
      {wide + "<qid>late</qid><qid>later</qid></r>", "late"},
      {wide + "</r>", nullptr},
      {wide + "<!--<qid/>--><x>&lt;qid/&gt;</x></r>", nullptr},
      {wide + "<qidx/><qid\n/></r>", ""},
      {deep + "<qid>shallow</qid></r>", "deep"},
      {"<r><?qid not this?><!--qid--><x>qid</x><y><qid>nested</qid></y><qid>next</qid></r>",
       "nested"},
      {"<r><x>qid</x><QID>case</QID></r>", nullptr},
  };
  for (const auto& each : cases) {
    const ComPtr<IXMLDOMElement> root = ParseXml(each.xml.c_str());
    ASSERT_TRUE(root) << each.xml;
    for (const int walked : {0, 1, 5, 32, 1000}) {
      const ComPtr<IXMLDOMElement> qid = FindElement(root.Get(), OLESTR("qid"), walked);
      if (each.expected == nullptr) {
        EXPECT_FALSE(qid) << walked << " " << each.xml;
      } else {
        ASSERT_TRUE(qid) << walked << " " << each.xml;
        EXPECT_EQ(Text(qid.Get()), each.expected) << walked << " " << each.xml;
      }
    }
  }
}

// Below a large element an absence is read from the element's text: only a tag written out in
// full may count as present, and anything that might hide one leaves the question open.
TEST_F(ElementLookupTest, WrittenOutTextProvesOnlyTrueAbsences) {
  const OleStringView tag = OLESTR("multi");
  const struct {
    const OLECHAR* xml;
    bool lacks;
  } cases[] = {
      {OLESTR("<r><a>multi</a><multiple/><v:multi/><MULTI/><a multi='1'/></r>"), true},
      {OLESTR("<r>&amp;&lt;&gt;&quot;&apos;&#60;&#x3C;</r>"), true},
      {OLESTR("<r><multi/></r>"), false},
      {OLESTR("<r><multi>x</multi></r>"), false},
      {OLESTR("<r><multi a='1'/></r>"), false},
      {OLESTR("<r><multi\n/></r>"), false},
      {OLESTR("<r><multi"), false},
      {OLESTR("<r><!--<multi/>--></r>"), false},      // a comment: not proven absent
      {OLESTR("<r><![CDATA[<multi>]]></r>"), false},  // nor in CDATA
      {OLESTR("<r>&votes;</r>"), false},              // an entity might hold one
      {OLESTR("<r>&amp</r>"), false},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(XmlTextLacksElement(ViewOf(each.xml), tag), each.lacks)
        << ToUtf8(OleString(ViewOf(each.xml)));
  }
  EXPECT_FALSE(XmlTextLacksElement(OLESTR("<r/>"), OleStringView()));
  // A DOM that wrote nothing proves nothing.
  EXPECT_FALSE(XmlTextLacksElement(OleStringView(), tag));
}

// A cursor over a small subtree may collect its matches by a walk: the sequence must be the
// DOM's list's, matches inside matches included, whether the walk settles it or gives up.
TEST_F(ElementLookupTest, CursorGivesTheSameMatchesHoweverFarItWalks) {
  std::string deep = "<r>";
  for (int level = 0; level < 12; ++level) {
    deep.append("<n><user>").append(std::to_string(level)).append("</user>");
  }
  for (int level = 0; level < 12; ++level) deep += "</n>";
  const std::string cases[] = {
      "<r><user>a</user><x>user</x><user>b<user>c</user></user><y><user>d</user></y></r>",
      "<r><USER>case</USER><?user?><!--user--></r>",
      "<r/>",
      deep + "<user>last</user></r>",
  };
  const auto texts = [](ElementCursor cursor) {
    std::vector<std::string> seen;
    while (const ComPtr<IXMLDOMElement> user = cursor.Next()) seen.push_back(Text(user.Get()));
    EXPECT_FALSE(cursor.Failed());
    EXPECT_EQ(cursor.Count(), static_cast<long>(seen.size()));
    return seen;
  };
  // The matches as nodes, read for their texts only: the same ones.
  const auto nodeTexts = [](ElementCursor cursor) {
    std::vector<std::string> seen;
    while (const ComPtr<IXMLDOMNode> user = cursor.NextNode()) {
      DOMNodeType type = NODE_INVALID;
      EXPECT_EQ(user->get_nodeType(&type), S_OK);
      EXPECT_EQ(type, NODE_ELEMENT);
      Bstr text;
      user->get_text(text.Put());
      seen.push_back(ToUtf8(OleString(text.View())));
    }
    EXPECT_FALSE(cursor.Failed());
    EXPECT_EQ(cursor.Count(), static_cast<long>(seen.size()));
    return seen;
  };
  for (const std::string& xml : cases) {
    const ComPtr<IXMLDOMElement> root = ParseXml(xml.c_str());
    ASSERT_TRUE(root) << xml;
    const std::vector<std::string> listed = texts(ElementCursor(root.Get(), OLESTR("user"), 0));
    for (const int walked : {0, 1, 3, 8, 32, 1000}) {
      EXPECT_EQ(texts(ElementCursor(root.Get(), OLESTR("user"), walked)), listed)
          << walked << " " << xml;
      EXPECT_EQ(nodeTexts(ElementCursor(root.Get(), OLESTR("user"), walked)), listed)
          << walked << " " << xml;
    }
  }
  EXPECT_EQ(texts(ElementCursor(ParseXml(cases[0].c_str()).Get(), OLESTR("user"), 1000)),
            (std::vector<std::string>{"a", "bc", "c", "d"}));
}

TEST_F(ElementLookupTest, FindElementsAppendsEveryMatchInOrder) {
  std::vector<ComPtr<IXMLDOMElement>> found;
  found.push_back(reply_);
  ASSERT_TRUE(FindElements(reply_.Get(), OLESTR("subject"), found));
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].Get(), reply_.Get());
  EXPECT_EQ(Text(found[1].Get()), "one+");
  EXPECT_EQ(Text(found[2].Get()), "two");
}

TEST_F(ElementLookupTest, FindElementsWithoutMatchLeavesTheList) {
  std::vector<ComPtr<IXMLDOMElement>> found;
  found.push_back(reply_);
  EXPECT_FALSE(FindElements(reply_.Get(), OLESTR("user"), found));
  EXPECT_FALSE(FindElements(nullptr, OLESTR("subject"), found));
  EXPECT_EQ(found.size(), 1u);
}

TEST_F(ElementLookupTest, ElementTextJoinsDescendantTexts) {
  const std::optional<Bstr> text = ElementHandle(reply_.Get()).First(OLESTR("subject")).Text();
  ASSERT_TRUE(text);
  EXPECT_EQ(text->View(), OleStringView(OLESTR("one+")));
  EXPECT_FALSE(ElementHandle(reply_.Get()).First(OLESTR("caption")).Text());
}

TEST_F(ElementLookupTest, NamespacesOfParsedAndBuiltElements) {
  Bstr uri;
  ASSERT_TRUE(GetNamespace(FindElement(reply_.Get(), OLESTR("query")).Get(), uri));
  EXPECT_EQ(uri.View(), OleStringView(OLESTR("quenlo:conf:voting")));
  ASSERT_TRUE(GetNamespace(FindElement(reply_.Get(), OLESTR("subject")).Get(), uri));
  EXPECT_EQ(uri.View(), OleStringView(OLESTR("quenlo:conf:voting")));  // inherited
  EXPECT_FALSE(GetNamespace(nullptr, uri));
  // A built element has no namespace URI, even with an "xmlns" attribute.
  Bstr scratch;
  const ComPtr<IXMLDOMElement> iq = CreateIq(OLESTR("r"), OLESTR("set"), OLESTR("1"), scratch);
  const ComPtr<IXMLDOMElement> query =
      AddQuery(iq.Get(), OLESTR("quenlo:conf:voting"), nullptr, scratch);
  ASSERT_TRUE(GetNamespace(query.Get(), uri));
  EXPECT_TRUE(uri.View().empty());
}

TEST_F(ElementLookupTest, AttributesTellValueAbsenceAndFailureApart) {
  const ElementHandle reply(reply_);
  const AttributeValue from = reply.Attribute(OLESTR("from"));
  ASSERT_TRUE(from.Present());
  EXPECT_EQ(from.Text(), OleStringView(OLESTR("room")));
  const AttributeValue type = reply.Attribute(OLESTR("type"));
  EXPECT_TRUE(type.Absent());
  EXPECT_THROW(type.Text(), _com_error);  // a null value does not convert
  EXPECT_TRUE(ElementHandle().Attribute(OLESTR("type")).Failed());
}

TEST_F(ElementLookupTest, HandlesCarryNothingFoundThroughChainedLookups) {
  const ElementHandle reply(reply_);
  const ElementHandle index = reply.First(OLESTR("query")).First(OLESTR("subjects"));
  ASSERT_TRUE(index);
  EXPECT_EQ(ToUtf8(OleString(index.First(OLESTR("subject")).Text()->View())), "two");
  const ElementHandle missing = reply.First(OLESTR("missing")).First(OLESTR("qid"));
  EXPECT_FALSE(missing);
  EXPECT_FALSE(missing.Text());
  EXPECT_FALSE(missing.NamespaceUri());
  EXPECT_FALSE(missing.Each(OLESTR("qid")).Next());

  BSTR text = nullptr;
  EXPECT_EQ(missing.CopyTextTo(&text), S_FALSE);
  EXPECT_EQ(text, nullptr);  // untouched
  EXPECT_EQ(reply.First(OLESTR("qid")).CopyTextTo(&text), S_OK);
  EXPECT_EQ(ToUtf8(OleString(ViewOf(text))), "deep");
  SysFreeString(text);
  EXPECT_EQ(reply.First(OLESTR("qid")).CopyTextTo(nullptr), E_POINTER);

  // The text of the first match, read without the match's handle: the same answers.
  ASSERT_TRUE(reply.TextOf(OLESTR("qid")));
  EXPECT_EQ(ToUtf8(OleString(reply.TextOf(OLESTR("qid"))->View())), "deep");
  EXPECT_FALSE(reply.TextOf(OLESTR("missing")));
  EXPECT_FALSE(missing.TextOf(OLESTR("qid")));
  EXPECT_EQ(missing.CopyTextOf(OLESTR("qid"), &text), S_FALSE);
  EXPECT_EQ(reply.CopyTextOf(OLESTR("subjects"), &text), S_OK);
  EXPECT_EQ(ToUtf8(OleString(ViewOf(text))), "two");
  SysFreeString(text);
  EXPECT_EQ(reply.CopyTextOf(OLESTR("qid"), nullptr), E_POINTER);
}

// Every element in document order with its name: settled only when the whole subtree, or all the
// visitor wanted, was handed out within the budget, which counts every node, texts too.
TEST_F(ElementLookupTest, WalkHandsEveryElementInOrderWithinItsBudget) {
  const std::string xml = "<r>t<a><b/>x<c>y</c></a><!--d--><?e?><d><a/></d>z<f>q</f></r>";
  const std::vector<std::string> everyName = {"a", "b", "c", "d", "a", "f"};
  const ComPtr<IXMLDOMElement> root = ParseXml(xml.c_str());
  ASSERT_TRUE(root);
  const OleStringView every = kEveryElement.View();
  for (const int budget : {0, 3, 6, 100}) {
    std::vector<std::string> names;
    const auto keep = [&names](ComPtr<IXMLDOMNode> element, OleStringView name) {
      EXPECT_TRUE(element.As<IXMLDOMElement>());
      names.push_back(ToUtf8(OleString(name)));
      return true;
    };
    const WalkOutcome outcome = WalkForElements(root.Get(), every, budget, keep);
    EXPECT_EQ(outcome, budget == 100 ? WalkOutcome::kSettled : WalkOutcome::kUndecided) << budget;
    if (budget == 100) {
      EXPECT_EQ(names, everyName);
    }
    // What was handed out before giving up is the start of the same sequence.
    EXPECT_TRUE(std::equal(names.begin(), names.end(), everyName.begin())) << budget;
  }
  int handed = 0;
  const auto firstTwo = [&handed](ComPtr<IXMLDOMNode>, OleStringView) { return ++handed < 2; };
  EXPECT_EQ(WalkForElements(root.Get(), every, 100, firstTwo), WalkOutcome::kSettled);
  EXPECT_EQ(handed, 2);
  const auto none = [](ComPtr<IXMLDOMNode>, OleStringView) {
    ADD_FAILURE() << "an element below an empty one";
    return true;
  };
  EXPECT_EQ(WalkForElements(ParseXml("<r>text</r>").Get(), every, 100, none),
            WalkOutcome::kSettled);
}

// A record's fields, found together in one pass at the first read, must read exactly as each
// field's own lookup: whichever field is read first, wherever the fields lie (nested in each
// other, repeated, past the pass's reach, missing), and again on later reads; with the pass
// reading the DOM's list of every element, or walking and then proving absences from the text.
TEST_F(ElementLookupTest, RecordFieldsReadAsTheirOwnLookups) {
  static constexpr FixedName kTags[] = {OLESTR("qid"), OLESTR("text"), OLESTR("time"),
                                        OLESTR("type")};
  static FieldTags tags{kTags};
  std::string crowd;
  for (int other = 0; other < 40; ++other) crowd += "<note>n</note>";
  const std::string records[] = {
      "<s><qid>1</qid><text>t</text><time>9</time><type>talk</type></s>",
      "<s><type>last first</type><time/><text>a<qid>inner</qid>b</text><qid>outer</qid></s>",
      "<s><qid>one</qid><qid>two</qid><x><time>deep</time></x></s>",
      "<s>" + crowd + "<text>far</text><qid>farther</qid></s>",
      "<s><qid>only</qid>" + crowd + "</s>",
      "<s><QID>case</QID><tim>near</tim><v:qid xmlns:v='urn:v'>prefixed</v:qid></s>",
      // Beyond the pass's reach, a tag only in a comment proves nothing: the list settles it.
      "<s>" + crowd + "<!--<qid/>--><type>typed</type></s>",
      "<s/>",
  };
  const auto show = [](const std::optional<Bstr>& text) {
    return text ? ToUtf8(OleString(text->View())) : std::string("(none)");
  };
  for (const std::string& xml : records) {
    const ComPtr<IXMLDOMElement> record = ParseXml(xml.c_str());
    ASSERT_TRUE(record) << xml;
    std::vector<std::string> expected;
    for (const FixedName tag : kTags) expected.push_back(show(ElementHandle(record).TextOf(tag)));
    for (std::size_t pass = 0; pass < 2 * std::size(kTags); ++pass) {
      const std::size_t first = pass / 2;
      const bool walk = pass % 2 == 1;
      const RecordFields fields(tags, walk);
      for (int round = 0; round < 2; ++round) {
        for (std::size_t at = 0; at < std::size(kTags); ++at) {
          const std::size_t index = (first + at) % std::size(kTags);
          EXPECT_EQ(show(fields.TextOf(record.Get(), index)), expected[index])
              << xml << " field " << index << " after " << first << (walk ? ", walked" : "");
          BSTR text = nullptr;
          const HRESULT status = fields.CopyTextOf(record.Get(), index, &text);
          EXPECT_EQ(status, expected[index] == "(none)" ? S_FALSE : S_OK) << xml << index;
          if (status == S_OK) {
            EXPECT_EQ(ToUtf8(OleString(ViewOf(text))), expected[index]);
          }
          SysFreeString(text);
          EXPECT_EQ(fields.CopyTextOf(record.Get(), index, nullptr), E_POINTER);
        }
      }
    }
  }
  const RecordFields none(tags);
  EXPECT_FALSE(none.TextOf(nullptr, 0));
  BSTR untouched = nullptr;
  EXPECT_EQ(none.CopyTextOf(nullptr, 1, &untouched), S_FALSE);
  EXPECT_EQ(untouched, nullptr);
}

}  // namespace

}  // namespace quenlo::confext
