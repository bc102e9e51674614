// A result object read by several host threads at once from its first read on: the first read of
// a record finds all its fields in one pass, which one thread makes while the others look their
// fields up on their own. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "agenda/agenda_reply.h"
#include "component/bstr.h"
#include "support/recording_host.h"
#include "support/xml_equivalence.h"
#include "xml/record_fields.h"

namespace quenlo::confext {

namespace {

using Accessor = HRESULT (STDMETHODCALLTYPE IAgendaReply::*)(BSTR*);

TEST(RecordFieldsThreadsTest, ThreadsReadingOneNewRecordAtOnceAllGetItsFields) {
  const ComPtr<IXMLDOMElement> item = ParseXml(
      "<subject><qid>q-1</qid><text>Budget</text><time>09:30</time><type>talk</type>"
      "<value>5</value><style>bold</style></subject>");
  ASSERT_TRUE(item);
  const struct {
    Accessor read;
    const char* expected;  // null: the record has no such field
  } fields[] = {{&IAgendaReply::GetQid, "q-1"},    {&IAgendaReply::GetText, "Budget"},
                {&IAgendaReply::GetTime, "09:30"}, {&IAgendaReply::GetType, "talk"},
                {&IAgendaReply::GetValue, "5"},    {&IAgendaReply::GetCode, nullptr},
                {&IAgendaReply::GetStyle, "bold"}};
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  std::atomic<int> wrong{0};
  for (int round = 0; round < kRounds; ++round) {
    const ComPtr<IAgendaReply> record = AgendaReply::Create(item.Get());
    ASSERT_TRUE(record);
    std::atomic<int> ready{0};
    std::vector<std::thread> readers;
    for (int thread = 0; thread < kThreads; ++thread) {
      readers.emplace_back([&, thread] {
        ready.fetch_add(1);
        while (ready.load() < kThreads) {
        }
        // Each thread starts on another field, so that any of them may make the pass.
        for (std::size_t at = 0; at < std::size(fields); ++at) {
          const auto& field = fields[(at + static_cast<std::size_t>(thread)) % std::size(fields)];
          Bstr text;
          const HRESULT status = (record.Get()->*field.read)(text.Put());
          const bool right =
              field.expected == nullptr
                  ? status == S_FALSE
                  : status == S_OK && ToUtf8(OleString(text.View())) == field.expected;
          if (!right) wrong.fetch_add(1);
        }
      });
    }
    for (std::thread& reader : readers) reader.join();
  }
  EXPECT_EQ(wrong.load(), 0);
}

// The same with the pass walking past a record's reach: the fields it leaves are proven absent
// from the record's text, or read from the DOM's list, by whichever thread gets there first. The
// walk asks for first children, which turns the fields' leaf texts into nodes while the other
// threads read those texts.
TEST(RecordFieldsThreadsTest, ThreadsReadingBeyondAWalkedPassAllGetTheSameFields) {
  std::string xml = "<query><qid>q-9</qid>";
  for (int note = 0; note < 40; ++note) xml += "<note>n</note>";
  xml += "<caption>Late</caption></query>";
  const ComPtr<IXMLDOMElement> record = ParseXml(xml.c_str());
  ASSERT_TRUE(record);
  static constexpr FixedName kTags[] = {OLESTR("qid"), OLESTR("caption"), OLESTR("multi"),
                                        OLESTR("reg")};
  static FieldTags tags{kTags};
  const char* const expected[] = {"q-9", "Late", nullptr, nullptr};
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::atomic<int> wrong{0};
  for (int round = 0; round < kRounds; ++round) {
    const RecordFields fields(tags, true);
    std::atomic<int> ready{0};
    std::vector<std::thread> readers;
    for (int thread = 0; thread < kThreads; ++thread) {
      readers.emplace_back([&, thread] {
        ready.fetch_add(1);
        while (ready.load() < kThreads) {
        }
        for (std::size_t at = 0; at < std::size(kTags); ++at) {
          const std::size_t index = (at + static_cast<std::size_t>(thread)) % std::size(kTags);
          const std::optional<Bstr> text = fields.TextOf(record.Get(), index);
          const bool right = expected[index] == nullptr
                                 ? !text
                                 : text && ToUtf8(OleString(text->View())) == expected[index];
          if (!right) wrong.fetch_add(1);
        }
      });
    }
    for (std::thread& reader : readers) reader.join();
  }
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace

}  // namespace quenlo::confext
