// Whole voting meetings through the text wire: the module loaded by path, three participants,
// the conference server simulator.
#include <gmock/gmock.h>

#include "meeting_fixture.h"

namespace quenlo::host {
namespace {

using ::testing::ElementsAre;
using ::testing::Pointee;

class VotingMeetingTest : public MeetingTest {};

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

TEST_F(VotingMeetingTest, TextOutsideAsciiAndMarkupCrossesTheWireIntact) {
  SetProperty(alice_.VotingSession(), u"voting.timeout", u"");
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
  SetProperty(alice_.VotingSession(), u"voting.room_name", u"");
  EXPECT_EQ(alice_.voting().Apply(u"apply"), S_FALSE);
  EXPECT_TRUE(Settle().empty());
  EXPECT_EQ(packets, 0u);
}

}  // namespace
}  // namespace quenlo::host
