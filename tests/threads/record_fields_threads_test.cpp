// A result object read by several host threads at once from its first read on: the first read of
// a record finds all its fields in one pass, which one thread makes while the others look their
// fields up on their own. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
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

constexpr std::size_t kThreads = 4;

// Runs read(thread) on kThreads threads released at once, so that their first reads meet; the
// number of wrong answers they gave. Each thread starts on another field, so that any of them
// may be the one to make the pass.
int ReadTogether(const std::function<int(std::size_t thread)>& read) {
  std::atomic<std::size_t> ready{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (std::size_t thread = 0; thread < kThreads; ++thread) {
    readers.emplace_back([&, thread] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      wrong.fetch_add(read(thread));
    });
  }
  for (std::thread& reader : readers) reader.join();
  return wrong.load();
}

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
  int wrong = 0;
  for (int round = 0; round < 100; ++round) {
    const ComPtr<IAgendaReply> record = AgendaReply::Create(item.Get());
    ASSERT_TRUE(record);
    wrong += ReadTogether([&](std::size_t thread) {
      int misread = 0;
      for (std::size_t at = 0; at < std::size(fields); ++at) {
        const auto& field = fields[(at + thread) % std::size(fields)];
        Bstr text;
        const HRESULT status = (record.Get()->*field.read)(text.Put());
        const bool right = field.expected == nullptr
                               ? status == S_FALSE
                               : status == S_OK && ToUtf8(OleString(text.View())) == field.expected;
        if (!right) ++misread;
      }
      return misread;
    });
  }
  EXPECT_EQ(wrong, 0);
}

// The same with the pass walking past a record's reach: the fields it leaves are proven absent
// from the record's text, or read from the DOM's list, by whichever thread gets there first. The
// walk asks for first children, which turns the fields' leaf texts into nodes while the other
// threads read those texts: each round reads a reply parsed afresh.
TEST(RecordFieldsThreadsTest, ThreadsReadingBeyondAWalkedPassAllGetTheSameFields) {
  std::string xml = "<query><qid>q-9</qid>";
  for (int note = 0; note < 40; ++note) xml += "<note>n</note>";
  xml += "<caption>Late</caption></query>";
  static constexpr FixedName kTags[] = {OLESTR("qid"), OLESTR("caption"), OLESTR("multi"),
                                        OLESTR("reg")};
  static FieldTags tags{kTags};
  const char* const expected[] = {"q-9", "Late", nullptr, nullptr};
  int wrong = 0;
  for (int round = 0; round < 100; ++round) {
    const ComPtr<IXMLDOMElement> record = ParseXml(xml.c_str());
    ASSERT_TRUE(record);
    const RecordFields fields(tags, true);
    wrong += ReadTogether([&](std::size_t thread) {
      int misread = 0;
      for (std::size_t at = 0; at < std::size(kTags); ++at) {
        const std::size_t index = (at + thread) % std::size(kTags);
        const std::optional<Bstr> text = fields.TextOf(record.Get(), index);
        const bool right = expected[index] == nullptr
                               ? !text
                               : text && ToUtf8(OleString(text->View())) == expected[index];
        if (!right) ++misread;
      }
      return misread;
    });
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace

}  // namespace quenlo::confext
