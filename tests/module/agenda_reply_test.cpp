// AgendaReply: the seven accessors over present, empty and missing elements.
#include "agenda/agenda_reply.h"

#include <gtest/gtest.h>

#include <string>

#include "agenda_fixture.h"

namespace quenlo::confext {

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

// Each accessor over its element with a text, over an empty one, over none (attributes of the
// same names are not fields) and with no output.
TEST(AgendaReplyTest, EachAccessorReadsItsOwnElement) {
  std::string filled = "<subject>";
  std::string empty = "<subject>";
  for (const Field& field : kFields) {
    filled += std::string("<") + field.tag + ">" + field.tag + "-value</" + field.tag + ">";
    empty += std::string("<") + field.tag + "></" + field.tag + ">";
  }
  const ComPtr<IAgendaReply> withValues = RecordOver((filled + "</subject>").c_str());
  const ComPtr<IAgendaReply> withEmpties = RecordOver((empty + "</subject>").c_str());
  const ComPtr<IAgendaReply> without = RecordOver(
      "<subject text='a' time='b' qid='c' type='d' value='e' code='7' style='f'><note/></subject>");
  ASSERT_TRUE(withValues && withEmpties && without);
  for (const Field& field : kFields) {
    Bstr value;
    ASSERT_EQ((withValues.Get()->*field.read)(value.Put()), S_OK) << field.tag;
    EXPECT_EQ(ToUtf8(value), std::string(field.tag) + "-value");
    ASSERT_EQ((withEmpties.Get()->*field.read)(value.Put()), S_OK) << field.tag;
    EXPECT_EQ(ToUtf8(value), "") << field.tag;
    OLECHAR sentinel[] = OLESTR("unchanged");
    BSTR untouched = sentinel;
    EXPECT_EQ((without.Get()->*field.read)(&untouched), S_FALSE) << field.tag;
    EXPECT_EQ(untouched, sentinel) << field.tag;
    EXPECT_EQ((withValues.Get()->*field.read)(nullptr), E_POINTER) << field.tag;
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

}  // namespace

}  // namespace quenlo::confext
