// Every text a caller hands a command reaches the server as given: line breaks (CR, LF, CR LF),
// tabs, spaces at the ends, markup characters and non-ASCII, in element text and in attribute
// values. Each request is written out by the platform's DOM (get_xml, as a host sends it) and
// read back by an ordinary XML reader; every caller text in it must read exactly as given.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "agenda_fixture.h"
#include "support/wire_reader.h"
#include "voting_fixture.h"

namespace quenlo::confext {

namespace {

// Texts that a serialiser is most likely to change, then random mixtures of the same pieces
// (from a fixed seed, so a failure repeats).
std::vector<std::string> SampleTexts() {
  std::vector<std::string> texts = {
      "line one\r\nline two",
      "carriage\rreturn",
      "line\nfeed",
      "line\n\rfeed, then return",
      "\ttab\tbetween\t",
      "  spaces at both ends  ",
      "\r\n",
      "\r\nbreaks at the ends\n",
      "& < > \" ' &amp; ]]>",
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC",
  };
  const std::vector<std::string> pieces = {
      "\r", "\n", "\r\n",     "\t",           " ",
      "&",  "<",  ">",        "\"",           "'",
      "a",  "Z",  "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
  std::uint32_t state = 20261207;
  for (int count = 0; count < 40; ++count) {
    std::string text;
    for (int length = 0; length < 12; ++length) {
      state = state * 1664525u + 1013904223u;  // a plain linear congruential step
      text += pieces[(state >> 8) % pieces.size()];
    }
    texts.push_back(text);
  }
  return texts;
}

std::string Visible(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else {
      shown += c;
    }
  }
  return shown;
}

// Elements whose text the module makes itself, not the caller.
const std::set<std::string> kModuleTexts = {"multi", "reg", "timeout"};

// Compares every caller text of the request with the text given and counts the places compared.
int ExpectCallerTexts(const WireElement& element, const std::string& given,
                      bool textBesideChildren) {
  int compared = 0;
  for (const auto& [name, value] : element.attributes) {
    if (name == "id" || name == "index") {
      EXPECT_EQ(Visible(value), Visible(given)) << "attribute " << name << " of " << element.name;
      ++compared;
    }
  }
  if (element.children.empty() && !kModuleTexts.contains(element.name) && element.name != "query") {
    EXPECT_EQ(Visible(element.text), Visible(given)) << "text of " << element.name;
    ++compared;
  } else if (textBesideChildren && element.name == "subjects") {
    EXPECT_EQ(Visible(element.text), Visible(given)) << "text beside the subjects";
    ++compared;
  }
  for (const WireElement& child : element.children) {
    compared += ExpectCallerTexts(child, given, textBesideChildren);
  }
  return compared;
}

// Reads every request sent so far as the server would and checks the caller texts in each;
// places holds, per request in order, how many caller texts it carries.
void ExpectSentAsGiven(const RecordingHost& host, const std::string& given,
                       const std::vector<int>& places) {
  ASSERT_EQ(host.Sent().size(), places.size());
  for (std::size_t index = 0; index < places.size(); ++index) {
    const std::string written = SerialisedXml(host.Sent()[index].Get());
    const std::optional<WireElement> read = ReadAsServer(written);
    ASSERT_TRUE(read) << "the reader refuses " << Visible(written);
    ASSERT_EQ(read->children.size(), 1u) << Visible(written);
    // The ballot's "subjects" carries the qid as text in front of its subjects.
    const bool ballot = read->children[0].Attribute("type") == "voting";
    EXPECT_EQ(ExpectCallerTexts(*read, given, ballot), places[index]) << Visible(written);
  }
}

}  // namespace

TEST_F(AttachedVotingTest, EveryTextArgumentReachesTheServerAsGiven) {
  for (const std::string& text : SampleTexts()) {
    SCOPED_TRACE(Visible(text));
    const Bstr given = Utf8ToBstr(text.c_str());
    const OLECHAR* t = given.Get();
    host_.ForgetSent();
    ASSERT_EQ(commands_->Apply(t), S_OK);
    ASSERT_EQ(commands_->ShowAll(t), S_OK);
    ASSERT_EQ(commands_->Delete(t, t), S_OK);
    ASSERT_EQ(commands_->Start(t, t), S_OK);
    ASSERT_EQ(commands_->Content(t, t), S_OK);
    ASSERT_EQ(commands_->End(t, t), S_OK);
    ASSERT_EQ(commands_->Kithe(t, t), S_OK);
    ASSERT_EQ(commands_->Result(t, t), S_OK);
    ASSERT_EQ(commands_->AddReferSubject(t, t, t), S_OK);
    ASSERT_EQ(commands_->Refer(t, t, t), S_OK);
    ASSERT_EQ(commands_->AddVotingSubject(t), S_OK);
    ASSERT_EQ(commands_->Voting(t, t), S_OK);
    // id; id, qid; refer: id, qid, caption, subject index and text; ballot: id, qid, the qid
    // beside the subjects, subject.
    ExpectSentAsGiven(host_, text, {1, 1, 2, 2, 2, 2, 2, 2, 5, 4});
  }
}

TEST_F(AttachedAgendaTest, EveryTextArgumentReachesTheServerAsGiven) {
  for (const std::string& text : SampleTexts()) {
    SCOPED_TRACE(Visible(text));
    const Bstr given = Utf8ToBstr(text.c_str());
    const OLECHAR* t = given.Get();
    host_.ForgetSent();
    ASSERT_EQ(commands_->Create(t, t, t, t, t, t), S_OK);
    ASSERT_EQ(commands_->Modify(t, t, t, t, t, t), S_OK);
    ASSERT_EQ(commands_->Delete(t, t), S_OK);
    ASSERT_EQ(commands_->Sync(t, t), S_OK);
    ASSERT_EQ(commands_->Browse(t), S_OK);
    ASSERT_EQ(commands_->Request(t), S_OK);
    // id and the five fields of the item; id, qid; id.
    ExpectSentAsGiven(host_, text, {6, 6, 2, 2, 1, 1});
  }
}

}  // namespace quenlo::confext
