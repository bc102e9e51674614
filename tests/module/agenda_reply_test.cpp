// AgendaReply: the seven accessors over present, empty and missing elements.
#include "agenda/agenda_reply.h"

#include <gtest/gtest.h>

#include <string>

#include "agenda_fixture.h"

namespace {

using Accessor = HRESULT (STDMETHODCALLTYPE IAgendaReply::*)(BSTR*);

struct Field {
  const char* tag;
  Accessor read;
};

const Field kFields[] = {
    {"text", &IAgendaReply::GetText},   {"time", &IAgendaReply::GetTime},
    {"qid", &IAgendaReply::GetQid},     {"type", &IAgendaReply::GetType},
    {"value", &IAgendaReply::GetValue}, {"code", &IAgendaReply::GetCode},
    {"style", &IAgendaReply::GetStyle},
};

ComPtr<IAgendaReply> RecordOver(const char* xml) {
  const ComPtr<IXMLDOMElement> element = ParseXml(xml);
  EXPECT_TRUE(element) << xml;
  return AgendaReply::Create(element.Get());
}

TEST(AgendaReplyTest, EachAccessorReadsItsOwnElement) {
  std::string xml = "<subject>";
  for (const Field& field : kFields) {
    xml += std::string("<") + field.tag + ">" + field.tag + "-value</" + field.tag + ">";
  }
  const ComPtr<IAgendaReply> record = RecordOver((xml + "</subject>").c_str());
  ASSERT_TRUE(record);
  for (const Field& field : kFields) {
    Bstr value;
    ASSERT_EQ((record.Get()->*field.read)(value.Put()), S_OK) << field.tag;
    EXPECT_EQ(ToUtf8(value), std::string(field.tag) + "-value");
  }
}

TEST(AgendaReplyTest, AnEmptyElementReadsAsAnEmptyText) {
  const ComPtr<IAgendaReply> record =
      RecordOver("<subject><text/><time></time><qid/><type/><value/><code/><style/></subject>");
  for (const Field& field : kFields) {
    Bstr value;
    ASSERT_EQ((record.Get()->*field.read)(value.Put()), S_OK) << field.tag;
    EXPECT_EQ(ToUtf8(value), "") << field.tag;
  }
}

TEST(AgendaReplyTest, AMissingElementLeavesTheOutputAlone) {
  // Attributes of the same names are not fields.
  const ComPtr<IAgendaReply> record = RecordOver(
      "<subject text='a' time='b' qid='c' type='d' value='e' code='7' style='f'><note/></subject>");
  for (const Field& field : kFields) {
    OLECHAR sentinel[] = OLESTR("unchanged");
    BSTR value = sentinel;
    EXPECT_EQ((record.Get()->*field.read)(&value), S_FALSE) << field.tag;
    EXPECT_EQ(value, sentinel) << field.tag;
  }
}

TEST(AgendaReplyTest, TheFirstElementAtAnyDepthIsRead) {
  const ComPtr<IAgendaReply> record = RecordOver(
      "<query><a><b><qid>deep</qid></b></a><qid>later</qid>"
      "<text>Part <i>one</i> and <b>two</b></text></query>");
  Bstr qid;
  Bstr text;
  ASSERT_EQ(record->GetQid(qid.Put()), S_OK);
  ASSERT_EQ(record->GetText(text.Put()), S_OK);
  EXPECT_EQ(ToUtf8(qid), "deep");
  EXPECT_EQ(ToUtf8(text), "Part one and two");
}

TEST(AgendaReplyTest, ANullOutputIsRefused) {
  const ComPtr<IAgendaReply> record = RecordOver("<subject><qid>1</qid></subject>");
  for (const Field& field : kFields) {
    EXPECT_EQ((record.Get()->*field.read)(nullptr), E_POINTER) << field.tag;
  }
}

}  // namespace
