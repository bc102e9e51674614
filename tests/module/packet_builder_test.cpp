// The request builders and the shared document they create elements from.
#include "xml/packet_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/xml_equivalence.h"
#include "xml/shared_document.h"

namespace quenlo::confext {

namespace {

TEST(PacketBuilderTest, EnvelopeAttributesComeInTheirOrder) {
  const ComPtr<IXMLDOMElement> iq = CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("42"));
  ASSERT_TRUE(iq);
  const ComPtr<IXMLDOMElement> query = AddQuery(iq.Get(), OLESTR("ns:x"), OLESTR("apply"));
  ASSERT_TRUE(query);
  EXPECT_TRUE(XmlEquivalent(
      iq.Get(), "<iq type='set' to='room' id='42'><query type='apply' xmlns='ns:x'/></iq>"));
  // Another order of the same attributes is a different packet.
  EXPECT_FALSE(XmlEquivalent(
      iq.Get(), "<iq to='room' type='set' id='42'><query type='apply' xmlns='ns:x'/></iq>"));
}

TEST(PacketBuilderTest, QueryWithoutTypeCarriesOnlyItsNamespace) {
  const ComPtr<IXMLDOMElement> iq = CreateIq(nullptr, nullptr, nullptr);
  ASSERT_TRUE(iq);
  ASSERT_TRUE(AddQuery(iq.Get(), OLESTR("ns:x"), OLESTR("")));
  EXPECT_TRUE(XmlEquivalent(iq.Get(), "<iq type='' to='' id=''><query xmlns='ns:x'/></iq>"));
  EXPECT_FALSE(AddQuery(nullptr, OLESTR("ns:x"), OLESTR("t")));
}

TEST(PacketBuilderTest, ChildrenAppendInOrderWithTheirTexts) {
  const ComPtr<IXMLDOMElement> subjects = AddChild(nullptr, OLESTR("subjects"), OLESTR(""));
  ASSERT_TRUE(subjects);
  const ComPtr<IXMLDOMElement> first = AddChild(subjects.Get(), OLESTR("subject"), OLESTR("a<b"));
  ASSERT_TRUE(first);
  ASSERT_TRUE(SetAttributeText(first.Get(), OLESTR("index"), OLESTR("1")));
  ASSERT_TRUE(AddChild(subjects.Get(), OLESTR("subject"), nullptr));
  EXPECT_TRUE(XmlEquivalent(subjects.Get(),
                            "<subjects><subject index='1'>a&lt;b</subject><subject/></subjects>"));
}

TEST(PacketBuilderTest, TextXmlCannotCarryFailsTheBuilder) {
  EXPECT_FALSE(CreateIq(OLESTR("room\u0002"), OLESTR("set"), OLESTR("1")));
  const OLECHAR loneSurrogate[] = {'1', 0xD800, 0};
  EXPECT_FALSE(CreateIq(OLESTR("room"), OLESTR("set"), loneSurrogate));
  const ComPtr<IXMLDOMElement> iq = CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("1"));
  ASSERT_TRUE(iq);
  EXPECT_FALSE(AddQuery(iq.Get(), OLESTR("ns"), OLESTR("\uFFFE")));
  EXPECT_FALSE(AddChild(iq.Get(), OLESTR("qid"), OLESTR("\u001F")));
  const OLECHAR zeroInside[] = {0, 'x'};
  EXPECT_FALSE(SetAttributeText(iq.Get(), OLESTR("index"), OleStringView(zeroInside, 2)));
  // Nothing half-built was appended.
  EXPECT_TRUE(XmlEquivalent(iq.Get(), "<iq type='set' to='room' id='1'/>"));
}

TEST(PacketBuilderTest, TextAtTheEdgesOfWhatXmlCarriesIsKept) {
  // A surrogate pair, the last character below U+FFFE, and a tab.
  const OLECHAR edges[] = {0xD83D, 0xDE00, 0xFFFD, 0x09, 0};
  const ComPtr<IXMLDOMElement> qid = AddChild(nullptr, OLESTR("qid"), edges);
  ASSERT_TRUE(qid);
  ASSERT_TRUE(SetAttributeText(qid.Get(), OLESTR("index"), edges));
  EXPECT_TRUE(XmlEquivalent(qid.Get(),
                            "<qid index='\xF0\x9F\x98\x80\xEF\xBF\xBD&#9;'>"
                            "\xF0\x9F\x98\x80\xEF\xBF\xBD\t</qid>"));
}

TEST(ElementWriterTest, WritesNestedChildrenAndAttributesInOrder) {
  ElementWriter query(CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("1")));
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
  ElementWriter query(CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("1")));
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
  const ComPtr<IXMLDOMElement> before = CreateIq(OLESTR("a"), OLESTR("set"), OLESTR("1"));
  ASSERT_TRUE(before);
  const ComPtr<IXMLDOMDocument> released = SharedDocument::Acquire();
  SharedDocument::Release();
  ASSERT_TRUE(AddChild(before.Get(), OLESTR("qid"), OLESTR("q")));  // recreates it
  EXPECT_NE(SharedDocument::Acquire().Get(), released.Get());
  const ComPtr<IXMLDOMElement> after = CreateIq(OLESTR("b"), OLESTR("set"), OLESTR("2"));
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
  for (int round = 0; round < 2000; ++round) {
    const ComPtr<IXMLDOMElement> iq = CreateIq(OLESTR("room"), OLESTR("set"), OLESTR("1"));
    if (iq && AddQuery(iq.Get(), OLESTR("ns"), OLESTR("t")) &&
        AddChild(iq.Get(), OLESTR("qid"), OLESTR("q"))) {
      ++built;
    }
  }
  stop = true;
  releaser.join();
  EXPECT_EQ(built, 2000);
}

}  // namespace

}  // namespace quenlo::confext
