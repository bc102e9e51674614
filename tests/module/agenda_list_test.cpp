// AgendaList: the subjects it collects, GetItem's bounds and the life of the items it hands out.
#include "agenda/agenda_list.h"

#include <gtest/gtest.h>

#include <limits>

#include "agenda_fixture.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {

namespace {

ComPtr<IAgendaList> ListOver(const char* xml) {
  const ComPtr<IXMLDOMElement> element = ParseXml(xml);
  EXPECT_TRUE(element) << xml;
  return AgendaList::Create(element.Get());
}

LONG CountOf(IAgendaList* list) {
  LONG count = -1;
  EXPECT_EQ(list->GetCount(&count), S_OK);
  return count;
}

std::string QidOf(IAgendaList* list, LONG index) {
  ComPtr<IAgendaReply> item;
  EXPECT_EQ(list->GetItem(index, item.Put()), S_OK) << index;
  if (!item) return "<no item>";
  Bstr qid;
  if (item->GetQid(qid.Put()) != S_OK) return "<no qid>";
  return ToUtf8(qid);
}

const char* const kThreeSubjects =
    "<query type='create'><subject><qid>a</qid></subject>"
    "<group><subject><qid>b</qid></subject></group><subject><qid>c</qid></subject></query>";

TEST(AgendaListTest, ListsEverySubjectInDocumentOrder) {
  const ComPtr<IAgendaList> list = ListOver(kThreeSubjects);
  ASSERT_EQ(CountOf(list.Get()), 3);
  EXPECT_EQ(QidOf(list.Get(), 0), "a");
  EXPECT_EQ(QidOf(list.Get(), 1), "b");  // nested below another element
  EXPECT_EQ(QidOf(list.Get(), 2), "c");
}

TEST(AgendaListTest, AnIndexOutOfRangeLeavesTheOutputAlone) {
  const ComPtr<IAgendaList> list = ListOver(kThreeSubjects);
  for (LONG index : {LONG{-1}, LONG{3}, LONG{4}, std::numeric_limits<LONG>::min(),
                     std::numeric_limits<LONG>::max()}) {
    IAgendaReply* item = nullptr;
    EXPECT_EQ(list->GetItem(index, &item), S_FALSE) << index;
    EXPECT_EQ(item, nullptr) << index;
  }
  const ComPtr<IAgendaList> empty = ListOver("<query type='browse'><qid>1</qid></query>");
  EXPECT_EQ(CountOf(empty.Get()), 0);
  IAgendaReply* item = nullptr;
  EXPECT_EQ(empty->GetItem(0, &item), S_FALSE);
  EXPECT_EQ(item, nullptr);
}

TEST(AgendaListTest, ASubjectInsideASubjectIsAnEntryOfItsOwn) {
  const ComPtr<IAgendaList> list = ListOver(
      "<query><subject><qid>outer</qid><subject><qid>inner</qid></subject></subject>"
      "</query>");
  ASSERT_EQ(CountOf(list.Get()), 2);
  EXPECT_EQ(QidOf(list.Get(), 0), "outer");
  EXPECT_EQ(QidOf(list.Get(), 1), "inner");
}

TEST(AgendaListTest, EachCallMakesANewRecordOverTheSameSubject) {
  const ComPtr<IAgendaList> list = ListOver(kThreeSubjects);
  ComPtr<IAgendaReply> first;
  ComPtr<IAgendaReply> second;
  ASSERT_EQ(list->GetItem(1, first.Put()), S_OK);
  ASSERT_EQ(list->GetItem(1, second.Put()), S_OK);
  EXPECT_NE(first.Get(), second.Get());
  EXPECT_EQ(ReferencesOf(first.Get()), 1u);
  EXPECT_EQ(ReferencesOf(list.Get()), 1u);
}

TEST(AgendaListTest, AnItemOutlivesItsListAndPacket) {
  ComPtr<IXMLDOMElement> packet = ParseXml(
      "<iq><query type='browse'><subject><qid>kept</qid><text>Closing</text>"
      "</subject></query></iq>");
  ComPtr<IAgendaList> list = AgendaList::Create(FindElement(packet.Get(), OLESTR("query")).Get());
  ComPtr<IAgendaReply> item;
  ASSERT_EQ(list->GetItem(0, item.Put()), S_OK);
  list.Reset();
  packet.Reset();
  Bstr qid;
  Bstr text;
  ASSERT_EQ(item->GetQid(qid.Put()), S_OK);
  ASSERT_EQ(item->GetText(text.Put()), S_OK);
  EXPECT_EQ(ToUtf8(qid), "kept");
  EXPECT_EQ(ToUtf8(text), "Closing");
}

// An item holds its own subject, not the list: the list goes with its last reference while the
// item lives on and reads (the objects' own counts show it on every DOM). Where the DOM keeps one
// object per node, the subject's count shows each reference go with its holder.
TEST(AgendaListTest, ReleasesItsSubjectsWhenDestroyed) {
  const bool nodeIdentity = DomKeepsNodeIdentity();
  const ComPtr<IXMLDOMElement> query = ParseXml(kThreeSubjects);
  const ComPtr<IXMLDOMElement> subject = FindElement(query.Get(), OLESTR("subject"));
  const ULONG before = ReferencesOf(subject.Get());
  ComPtr<IAgendaList> list = AgendaList::Create(query.Get());
  ComPtr<IAgendaReply> item;
  ASSERT_EQ(list->GetItem(0, item.Put()), S_OK);
  EXPECT_EQ(ReferencesOf(list.Get()), 1u);
  EXPECT_EQ(ReferencesOf(item.Get()), 1u);
  if (nodeIdentity) {
    EXPECT_EQ(ReferencesOf(subject.Get()), before + 2);  // the entry and the item
  }
  list.Reset();
  if (nodeIdentity) {
    EXPECT_EQ(ReferencesOf(subject.Get()), before + 1);
  }
  Bstr qid;
  EXPECT_EQ(item->GetQid(qid.Put()), S_OK);
  EXPECT_EQ(ReferencesOf(item.Get()), 1u);
  item.Reset();
  if (nodeIdentity) {
    EXPECT_EQ(ReferencesOf(subject.Get()), before);
  }
}

TEST(AgendaListTest, NullOutputsAreRefused) {
  const ComPtr<IAgendaList> list = ListOver(kThreeSubjects);
  EXPECT_EQ(list->GetCount(nullptr), E_POINTER);
  EXPECT_EQ(list->GetItem(0, nullptr), E_POINTER);
  EXPECT_FALSE(list.As<IAgendaReply>());
}

}  // namespace

}  // namespace quenlo::confext
