// confhost's text handling: splitting command lines, and the JSON it writes for programs.
#include <gmock/gmock.h>

#include "apps/event_format.h"
#include "apps/usage_error.h"
#include "apps/word_splitter.h"

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
