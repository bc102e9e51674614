// The request builders and the shared document they create elements from.
#include "xml/packet_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/xml_equivalence.h"
#include "xml/shared_document.h"
#include "xml/xml_text.h"

namespace quenlo::confext {

namespace {

TEST(PacketBuilderTest, EnvelopeAttributesComeInTheirOrder) {
  Bstr scratch;
  const ComPtr<IXMLDOMElement> iq = CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("42"), scratch);
  ASSERT_TRUE(iq);
  const ComPtr<IXMLDOMElement> query = AddQuery(iq.Get(), OLESTR("ns:x"), OLESTR("apply"), scratch);
  ASSERT_TRUE(query);
  EXPECT_TRUE(XmlEquivalent(
      iq.Get(), "<iq type='set' to='room' id='42'><query type='apply' xmlns='ns:x'/></iq>"));
  // Another order of the same attributes is a different packet.
  EXPECT_FALSE(XmlEquivalent(
      iq.Get(), "<iq to='room' type='set' id='42'><query type='apply' xmlns='ns:x'/></iq>"));
}

TEST(PacketBuilderTest, QueryWithoutTypeCarriesOnlyItsNamespace) {
  Bstr scratch;
  const ComPtr<IXMLDOMElement> iq = CreateIq(nullptr, nullptr, nullptr, scratch);
  ASSERT_TRUE(iq);
  ASSERT_TRUE(AddQuery(iq.Get(), OLESTR("ns:x"), OLESTR(""), scratch));
  EXPECT_TRUE(XmlEquivalent(iq.Get(), "<iq type='' to='' id=''><query xmlns='ns:x'/></iq>"));
  EXPECT_FALSE(AddQuery(nullptr, OLESTR("ns:x"), OLESTR("t"), scratch));
}

TEST(PacketBuilderTest, ChildrenAppendInOrderWithTheirTexts) {
  Bstr scratch;
  const ComPtr<IXMLDOMElement> subjects =
      AddChild(nullptr, OLESTR("subjects"), OLESTR(""), scratch);
  ASSERT_TRUE(subjects);
  const ComPtr<IXMLDOMElement> first =
      AddChild(subjects.Get(), OLESTR("subject"), OLESTR("a<b"), scratch);
  ASSERT_TRUE(first);
  ASSERT_TRUE(SetAttributeText(first.Get(), OLESTR("index"), OLESTR("1"), scratch));
  ASSERT_TRUE(AddChild(subjects.Get(), OLESTR("subject"), nullptr, scratch));
  EXPECT_TRUE(XmlEquivalent(subjects.Get(),
                            "<subjects><subject index='1'>a&lt;b</subject><subject/></subjects>"));
}

// One string carries every text of a request to the DOM: each text must arrive whole, whether it
// is longer than the one before (past what its memory holds) or shorter.
TEST(PacketBuilderTest, TextsOfEveryLengthArriveWholeThroughOneScratchString) {
  Bstr scratch;
  const ComPtr<IXMLDOMElement> list = AddChild(nullptr, OLESTR("list"), nullptr, scratch);
  ASSERT_TRUE(list);
  std::string expected = "<list>";
  for (const std::size_t length : {3, 1, 40, 200, 7, 0, 130, 2}) {
    const OleString text(length, static_cast<OLECHAR>('a' + length % 26));
    const OleStringView view(text);
    const ComPtr<IXMLDOMElement> item = AddChild(list.Get(), OLESTR("item"), view, scratch);
    ASSERT_TRUE(item);
    ASSERT_TRUE(SetAttributeText(item.Get(), OLESTR("n"), view.substr(0, length / 2), scratch));
    const std::string narrow(length, static_cast<char>('a' + length % 26));
    expected += "<item n='" + narrow.substr(0, length / 2) + "'" +
                (length == 0 ? "/>" : ">" + narrow + "</item>");
  }
  EXPECT_TRUE(XmlEquivalent(list.Get(), expected + "</list>"));
}

TEST(PacketBuilderTest, TextXmlCannotCarryFailsTheBuilder) {
  Bstr scratch;
  EXPECT_FALSE(CreateIq(OLESTR("room\u0002"), OLESTR("set"), OLESTR("1"), scratch));
  const OLECHAR loneSurrogate[] = {'1', 0xD800, 0};
  EXPECT_FALSE(CreateIq(OLESTR("room"), OLESTR("set"), loneSurrogate, scratch));
  const ComPtr<IXMLDOMElement> iq = CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("1"), scratch);
  ASSERT_TRUE(iq);
  EXPECT_FALSE(AddQuery(iq.Get(), OLESTR("ns"), OLESTR("\uFFFE"), scratch));
  EXPECT_FALSE(AddChild(iq.Get(), OLESTR("qid"), OLESTR("\u001F"), scratch));
  const OLECHAR zeroInside[] = {0, 'x'};
  EXPECT_FALSE(SetAttributeText(iq.Get(), OLESTR("index"), OleStringView(zeroInside, 2), scratch));
  // Nothing half-built was appended.
  EXPECT_TRUE(XmlEquivalent(iq.Get(), "<iq type='set' to='room' id='1'/>"));
}

// The check the builders make before the DOM sees a text, run alone: the DOM behind it may accept
// more (msxml does). Long texts are checked several units at a time, so each unit stands at every
// offset of a 25-unit text, with the edges of the ranges on either side.
TEST(PacketBuilderTest, XmlTextCheckFindsAUnitWhereverItStands) {
  const OleString plain = OLESTR("A subject to choose, 25 u");
  const OLECHAR refused[] = {0x0000, 0x0001, 0x001F, 0xD800, 0xDBFF, 0xDC00, 0xFFFE, 0xFFFF};
  const OLECHAR accepted[] = {0x0009, 0x000A, 0x000D, 0x0020, 0xD7FF, 0xE000, 0xFFFD};
  const OLECHAR pair[] = {0xD83D, 0xDE00};
  for (std::size_t at = 0; at <= plain.size(); ++at) {
    const OleString before = plain.substr(0, at);
    const OleString after = plain.substr(at);
    for (const OLECHAR unit : refused) {
      EXPECT_FALSE(IsXmlText(before + unit + after)) << at << " " << static_cast<unsigned>(unit);
    }
    for (const OLECHAR unit : accepted) {
      EXPECT_TRUE(IsXmlText(before + unit + after)) << at << " " << static_cast<unsigned>(unit);
    }
    EXPECT_TRUE(IsXmlText(before + OleString(pair, 2) + after)) << at;
    EXPECT_FALSE(IsXmlText(before + pair[1] + pair[0] + after)) << at;  // the wrong way round
  }
}

TEST(PacketBuilderTest, TextAtTheEdgesOfWhatXmlCarriesIsKept) {
  // A surrogate pair, the last character below U+FFFE, and a tab.
  const OLECHAR edges[] = {0xD83D, 0xDE00, 0xFFFD, 0x09, 0};
  Bstr scratch;
  const ComPtr<IXMLDOMElement> qid = AddChild(nullptr, OLESTR("qid"), edges, scratch);
  ASSERT_TRUE(qid);
  ASSERT_TRUE(SetAttributeText(qid.Get(), OLESTR("index"), edges, scratch));
  EXPECT_TRUE(XmlEquivalent(qid.Get(),
                            "<qid index='\xF0\x9F\x98\x80\xEF\xBF\xBD&#9;'>"
                            "\xF0\x9F\x98\x80\xEF\xBF\xBD\t</qid>"));
}

TEST(ElementWriterTest, WritesNestedChildrenAndAttributesInOrder) {
  Bstr scratch;
  ElementWriter query(CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("1"), scratch),
                      std::move(scratch));
  query.Add(OLESTR("qid"), OLESTR("q")).Add(OLESTR("caption"), nullptr);
  query.Open(OLESTR("subjects"))
      .Open(OLESTR("subject"), OLESTR("a"))
      .Set(OLESTR("index"), OLESTR("1"));
  EXPECT_TRUE(query.Ok());
  EXPECT_TRUE(XmlEquivalent(query.Get(),
                            "<iq type='set' to='room' id='1'><qid>q</qid><caption/>"
                            "<subjects><subject index='1'>a</subject></subjects></iq>"));
}

TEST(ElementWriterTest, FirstFailureAnywhereStopsTheWholeRequest) {
  const OLECHAR bell[] = {0x07, 0};
  Bstr scratch;
  ElementWriter query(CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("1"), scratch));
  ElementWriter subjects = query.Open(OLESTR("subjects"));
  subjects.Add(OLESTR("subject"), bell);  // XML cannot carry it
  EXPECT_FALSE(subjects.Ok());
  EXPECT_FALSE(query.Ok());  // the failure reaches the writer it was opened from
  query.Add(OLESTR("qid"), OLESTR("late"));
  EXPECT_FALSE(query.Open(OLESTR("more")).Ok());
  EXPECT_TRUE(XmlEquivalent(query.Get(), "<iq type='set' to='room' id='1'><subjects/></iq>"));

  EXPECT_FALSE(ElementWriter(nullptr).Add(OLESTR("qid"), OLESTR("q")).Ok());
}

TEST(SharedDocumentTest, ReleasedDocumentIsRecreatedAndOldElementsStayUsable) {
  Bstr scratch;
  const ComPtr<IXMLDOMElement> before = CreateIq(OLESTR("a"), OLESTR("set"), OLESTR("1"), scratch);
  ASSERT_TRUE(before);
  const ComPtr<IXMLDOMDocument> released = SharedDocument::Acquire();
  SharedDocument::Release();
  ASSERT_TRUE(AddChild(before.Get(), OLESTR("qid"), OLESTR("q"), scratch));  // recreates it
  EXPECT_NE(SharedDocument::Acquire().Get(), released.Get());
  const ComPtr<IXMLDOMElement> after = CreateIq(OLESTR("b"), OLESTR("set"), OLESTR("2"), scratch);
  ASSERT_TRUE(after);
  EXPECT_TRUE(XmlEquivalent(before.Get(), "<iq type='set' to='a' id='1'><qid>q</qid></iq>"));
  EXPECT_TRUE(XmlEquivalent(after.Get(), "<iq type='set' to='b' id='2'/>"));
}

TEST(SharedDocumentTest, ReleaseOnAnotherThreadNeverBreaksABuilder) {
  std::atomic<bool> stop{false};
  std::thread releaser([&stop] {
    while (!stop) SharedDocument::Release();
  });
  int built = 0;
  Bstr scratch;
  for (int round = 0; round < 2000; ++round) {
    const ComPtr<IXMLDOMElement> iq = CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("1"), scratch);
    if (iq && AddQuery(iq.Get(), OLESTR("ns"), OLESTR("t"), scratch) &&
        AddChild(iq.Get(), OLESTR("qid"), OLESTR("q"), scratch)) {
      ++built;
    }
  }
  stop = true;
  releaser.join();
  EXPECT_EQ(built, 2000);
}

}  // namespace

}  // namespace quenlo::confext
