// confhost's text handling: splitting command lines, and the JSON it writes for programs.
#include <gmock/gmock.h>

#include "apps/confhost/event_format.h"
#include "apps/confhost/usage_error.h"
#include "apps/confhost/word_splitter.h"

namespace quenlo::confhost {
namespace {

using ::testing::ElementsAre;

TEST(WordSplitterTest, QuotesGroupWordsAndKeepEmptyOnes) {
  EXPECT_THAT(SplitWords("  voting.refer r1 1  \"Approve the budget?\" "),
              ElementsAre("voting.refer", "r1", "1", "Approve the budget?"));
  EXPECT_THAT(SplitWords(R"(set voting.timeout "")"), ElementsAre("set", "voting.timeout", ""));
  EXPECT_THAT(SplitWords(R"(say "a \"b\" \\ c"d)"), ElementsAre("say", R"(a "b" \ cd)"));
  EXPECT_THAT(SplitWords(" \t "), ElementsAre());
}

TEST(WordSplitterTest, UnterminatedQuoteIsAUsageError) {
  EXPECT_THROW(SplitWords(R"(voting.refer r1 1 "Approve)"), UsageError);
  EXPECT_THROW(SplitWords(R"(voting.refer "a\)"), UsageError);
}

TEST(WordSplitterTest, RefusesWordsTheModuleWouldReceiveChanged) {
  // Each of these would reach the module as U+FFFD or cut at the NUL.
  for (const std::string_view line : std::initializer_list<std::string_view>{
           "join \xFF", "join a\xC3", "join \xC0\xAF", "join \xED\xA0\x80", "join \xF4\x90\x80\x80",
           "join \"x\\\xE2\x82\"", std::string_view("join al\0ice", 12)}) {
    EXPECT_THROW(SplitWords(line), UsageError) << line;
  }
  EXPECT_THAT(SplitWords("join \xC3\xA9lise \xF0\x9F\x98\x80 \xEF\xBF\xBD"),
              ElementsAre("join", "\xC3\xA9lise", "\xF0\x9F\x98\x80", "\xEF\xBF\xBD"));
}

TEST(WordSplitterTest, QuotedCutsLongWordsOnCharacterBoundaries) {
  EXPECT_EQ(Quoted("short"), "\"short\"");
  EXPECT_EQ(Quoted(std::string(40, 'x')), "\"" + std::string(40, 'x') + "\"");
  EXPECT_EQ(Quoted(std::string(41, 'x')), "\"" + std::string(40, 'x') + "...\"");
  std::string accents;
  for (int count = 0; count < 50; ++count) accents += "\xC3\xA9";
  EXPECT_EQ(Quoted(accents), "\"" + accents.substr(0, 80) + "...\"");
}

TEST(EventFormatTest, JsonEscapesWhatWouldBreakALine) {
  EXPECT_EQ(JsonString("a\"b\\c\nd\x01"), R"("a\"b\\c\nd\u0001")");
  host::ResultSnapshot result;
  result.kind = "IVotingReply";
  result.fields = {{"caption", "x\ty", false}, {"timeout", "30", true}};
  EXPECT_EQ(FormatEventJson("bob", "/voting/start/ok", result),
            R"({"participant":"bob","event":"/voting/start/ok","object":{"kind":"IVotingReply",)"
            R"("values":{"caption":"x\ty","timeout":30}}})");
  EXPECT_EQ(FormatEventJson("bob", "/voting/error", host::ResultSnapshot{}),
            R"({"participant":"bob","event":"/voting/error","object":null})");
}

TEST(EventFormatTest, TextQuotesValuesThatABlankOrQuoteWouldSplit) {
  host::ResultSnapshot result;
  result.kind = "IAgendaReply";
  result.fields = {{"qid", "q1", false}, {"text", "two words", false}, {"code", "", false}};
  EXPECT_EQ(FormatEventText("alice", "/agenda/sync/ok", result),
            R"([alice] /agenda/sync/ok qid=q1 text="two words" code="")");
}

}  // namespace
}  // namespace quenlo::confhost
