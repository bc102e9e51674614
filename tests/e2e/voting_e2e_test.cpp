// Whole voting meetings through the text wire: the module loaded by path, three participants,
// the conference server simulator.
#include <gmock/gmock.h>

#include "meeting_fixture.h"

namespace quenlo::host {
namespace {

using ::testing::ElementsAre;
using ::testing::Pointee;

std::vector<std::string> Participants(const std::vector<SeenEvent>& events) {
  std::vector<std::string> names;
  for (const SeenEvent& event : events) names.push_back(event.participant);
  return names;
}

class VotingMeetingTest : public MeetingTest {};

TEST_F(VotingMeetingTest, RegisteredVoteRunsFromApplyToNamedResult) {
  const std::u16string vote = UploadLunchVote(u"1", u"60");
  const std::string qid = ToUtf8(vote);

  ASSERT_EQ(alice_.voting().ShowAll(u"list-1"), S_OK);
  const SeenEvent listing = SettleOne();
  EXPECT_EQ(listing.path, "/voting/showall/ok");
  EXPECT_EQ(listing.result.kind, "IVotingSubjectList");
  ASSERT_EQ(listing.result.entries.size(), 1u);
  EXPECT_THAT(listing.result.entries[0].Find("id"), Pointee(qid));
  EXPECT_THAT(listing.result.entries[0].Find("text"), Pointee(std::string("Lunch")));
  EXPECT_THAT(listing.result.entries[0].Find("type"), Pointee(std::string("1")));

  ASSERT_EQ(bob_.voting().Content(u"content-1", vote.c_str()), S_OK);
  const SeenEvent content = SettleOne();
  EXPECT_EQ(content.participant, "bob");
  EXPECT_EQ(content.path, "/voting/getvoting/ok");
  EXPECT_THAT(content.result.Find("caption"), Pointee(std::string("Lunch")));
  EXPECT_THAT(content.result.Find("reg"), Pointee(std::string("1")));
  EXPECT_THAT(content.result.Find("multi"), Pointee(std::string("0")));
  EXPECT_THAT(content.result.Find("timeout"), Pointee(std::string("60")));
  EXPECT_THAT(EntryValues(content.result, "text"), ElementsAre("Pizza", "Sushi"));

  ASSERT_EQ(alice_.voting().Start(u"start-1", vote.c_str()), S_OK);
  const std::vector<SeenEvent> started = Settle();
  EXPECT_THAT(Participants(started), ElementsAre("alice", "bob", "carol"));
  for (const SeenEvent& event : started) EXPECT_EQ(event.path, "/voting/start/ok");

  bob_.voting().AddVotingSubject(u"1");
  ASSERT_EQ(bob_.voting().Voting(u"ballot-1", vote.c_str()), S_OK);
  const SeenEvent ballot = SettleOne();
  EXPECT_EQ(ballot.path, "/voting/voting/ok");
  EXPECT_THAT(ballot.result.Find("qid"), Pointee(qid));
  carol_.voting().AddVotingSubject(u"2");
  ASSERT_EQ(carol_.voting().Voting(u"ballot-2", vote.c_str()), S_OK);
  EXPECT_EQ(SettleOne().path, "/voting/voting/ok");
  alice_.voting().AddVotingSubject(u"1");
  ASSERT_EQ(alice_.voting().Voting(u"ballot-3", vote.c_str()), S_OK);
  EXPECT_EQ(SettleOne().path, "/voting/voting/ok");

  ASSERT_EQ(carol_.voting().Kithe(u"tally-1", vote.c_str()), S_OK);
  const SeenEvent tally = SettleOne();
  EXPECT_EQ(tally.path, "/voting/kithe/ok");
  EXPECT_EQ(tally.result.kind, "IVotingDetail");
  EXPECT_THAT(tally.result.Find("count"), Pointee(std::string("3")));
  EXPECT_THAT(EntryValues(tally.result, "votes"), ElementsAre("2", "1"));

  ASSERT_EQ(alice_.voting().End(u"end-1", vote.c_str()), S_OK);
  const std::vector<SeenEvent> ended = Settle();
  EXPECT_THAT(Participants(ended), ElementsAre("alice", "bob", "carol"));
  for (const SeenEvent& event : ended) EXPECT_EQ(event.path, "/voting/end/ok");

  ASSERT_EQ(bob_.voting().Result(u"result-1", vote.c_str()), S_OK);
  const SeenEvent result = SettleOne();
  EXPECT_EQ(result.path, "/voting/look/ok");
  EXPECT_THAT(EntryValues(result.result, "name"), ElementsAre("Pizza", "Sushi"));
  ASSERT_EQ(result.result.entries.size(), 2u);
  EXPECT_THAT(EntryValues(result.result.entries[0], "name"), ElementsAre("Bob", "Alice Martin"));
  EXPECT_THAT(EntryValues(result.result.entries[1], "name"), ElementsAre("Carol"));

  ASSERT_EQ(alice_.voting().Delete(u"delete-1", vote.c_str()), S_OK);
  EXPECT_EQ(SettleOne().path, "/voting/delete/ok");
  ASSERT_EQ(alice_.voting().ShowAll(u"list-2"), S_OK);
  EXPECT_THAT(SettleOne().result.Find("count"), Pointee(std::string("0")));
}

TEST_F(VotingMeetingTest, UnregisteredVoteReportsCountsWithoutNames) {
  const std::u16string vote = UploadLunchVote(u"0", u"");
  alice_.voting().Start(u"start", vote.c_str());
  Settle();
  bob_.voting().AddVotingSubject(u"2");
  bob_.voting().Voting(u"ballot", vote.c_str());
  alice_.voting().End(u"end", vote.c_str());
  Settle();

  alice_.voting().Result(u"result", vote.c_str());
  const SeenEvent result = SettleOne();
  EXPECT_THAT(result.result.Find("reg"), Pointee(std::string("0")));
  EXPECT_THAT(EntryValues(result.result, "votes"), ElementsAre("0", "1"));
  for (const ResultSnapshot& subject : result.result.entries) EXPECT_TRUE(subject.entries.empty());
}

TEST_F(VotingMeetingTest, RefusedRequestsAreAnnouncedAsErrorsWithTheirCodes) {
  alice_.voting().Start(u"start-unknown", u"99");
  SeenEvent unknown = SettleOne();
  EXPECT_EQ(unknown.path, "/voting/error");
  EXPECT_THAT(unknown.result.Find("code"), Pointee(std::string("10")));
  EXPECT_THAT(unknown.result.Find("qid"), Pointee(std::string("99")));

  const std::u16string vote = UploadLunchVote(u"0", u"");
  bob_.voting().AddVotingSubject(u"1");
  bob_.voting().Voting(u"too-early", vote.c_str());
  EXPECT_THAT(SettleOne().result.Find("code"), Pointee(std::string("11")));

  alice_.voting().Start(u"start", vote.c_str());
  Settle();
  bob_.voting().AddVotingSubject(u"1");
  bob_.voting().AddVotingSubject(u"2");
  bob_.voting().Voting(u"two-choices", vote.c_str());
  EXPECT_THAT(SettleOne().result.Find("code"), Pointee(std::string("13")));
  bob_.voting().AddVotingSubject(u"7");
  bob_.voting().Voting(u"unknown-subject", vote.c_str());
  EXPECT_THAT(SettleOne().result.Find("code"), Pointee(std::string("14")));
  bob_.voting().AddVotingSubject(u"1");
  bob_.voting().Voting(u"first", vote.c_str());
  EXPECT_EQ(SettleOne().path, "/voting/voting/ok");
  bob_.voting().AddVotingSubject(u"2");
  bob_.voting().Voting(u"second", vote.c_str());
  const SeenEvent again = SettleOne();
  EXPECT_EQ(again.participant, "bob");
  EXPECT_THAT(again.result.Find("code"), Pointee(std::string("12")));
}

TEST_F(VotingMeetingTest, VoteEndsByItsTimeoutForEveryone) {
  const std::u16string vote = UploadLunchVote(u"0", u"30");
  alice_.voting().Start(u"start", vote.c_str());
  Settle();

  conference_.Advance(std::chrono::seconds(29));
  EXPECT_TRUE(Settle().empty());
  conference_.Advance(std::chrono::seconds(1));
  const std::vector<SeenEvent> ended = Settle();
  EXPECT_THAT(Participants(ended), ElementsAre("alice", "bob", "carol"));
  for (const SeenEvent& event : ended) {
    EXPECT_EQ(event.path, "/voting/end/ok");
    EXPECT_THAT(event.result.Find("qid"), Pointee(ToUtf8(vote)));
  }

  bob_.voting().AddVotingSubject(u"1");
  bob_.voting().Voting(u"late", vote.c_str());
  EXPECT_THAT(SettleOne().result.Find("code"), Pointee(std::string("11")));
}

TEST_F(VotingMeetingTest, TextOutsideAsciiAndMarkupCrossesTheWireIntact) {
  SetProperty(alice_.voting_session(), u"voting.timeout", u"");
  alice_.voting().Apply(u"apply");
  const std::u16string vote = FromUtf8(*SettleOne().result.Find("qid"));
  const std::u16string caption = u"Caf\u00e9 <&> \"\U0001F600\"";
  alice_.voting().AddReferSubject(u"refer", u"1", u"\u00c6 & \u00d8");
  alice_.voting().Refer(u"refer", vote.c_str(), caption.c_str());
  const SeenEvent uploaded = SettleOne();
  EXPECT_THAT(uploaded.result.Find("caption"), Pointee(ToUtf8(caption)));
  EXPECT_THAT(EntryValues(uploaded.result, "text"), ElementsAre("\u00c6 & \u00d8"));
}

TEST_F(VotingMeetingTest, ClearedSubjectsAreNotUploaded) {
  alice_.voting().Apply(u"apply");
  const std::u16string vote = FromUtf8(*SettleOne().result.Find("qid"));
  alice_.voting().AddReferSubject(u"refer", u"1", u"Dropped");
  alice_.voting().AddReferSubject(u"refer", u"2", u"Dropped too");
  EXPECT_EQ(alice_.voting().ClearReferSubjects(u"clear"), S_OK);
  alice_.voting().AddReferSubject(u"refer", u"9", u"Kept");
  alice_.voting().Refer(u"refer", vote.c_str(), u"Only one");
  EXPECT_THAT(EntryValues(SettleOne().result, "text"), ElementsAre("Kept"));
}

TEST_F(VotingMeetingTest, CommandWithoutRoomSendsNothing) {
  std::size_t packets = 0;
  conference_.transport().SetWireObserver([&](const WirePacket&) { ++packets; });
  SetProperty(alice_.voting_session(), u"voting.room_name", u"");
  EXPECT_EQ(alice_.voting().Apply(u"apply"), S_FALSE);
  EXPECT_TRUE(Settle().empty());
  EXPECT_EQ(packets, 0u);
}

}  // namespace
}  // namespace quenlo::host
