#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "server/request_error.h"
#include "server_fixture.h"

namespace quenlo::server::testing {
namespace {

using namespace std::chrono_literals;

int Code(ErrorCode code) { return static_cast<int>(code); }

struct SubjectTally {
  std::string name;
  int count;
  std::vector<std::string> users;
};

std::vector<SubjectTally> TallyOf(const Packet& reply) {
  std::vector<SubjectTally> tally;
  for (const pugi::xml_node subject : reply.query().child("subjects").children("subject")) {
    SubjectTally entry{
        subject.attribute("name").value(), subject.attribute("count").as_int(-1), {}};
    for (const pugi::xml_node user : subject.children("user"))
      entry.users.push_back(user.text().get());
    tally.push_back(entry);
  }
  return tally;
}

using VotingTest = ServerTest;

TEST_F(VotingTest, RegisteredVoteFromApplyToResult) {
  const std::string qid = ReferVote(/*multi=*/false, /*reg=*/true);

  const Packet& content = To(Voting(kBob, "content", "<qid>" + qid + "</qid>"), kBob);
  EXPECT_EQ(content.text("caption"), "Lunch?");
  EXPECT_EQ(content.text("multi"), "false");
  EXPECT_EQ(content.text("reg"), "true");
  const pugi::xml_node third =
      content.query().child("subjects").find_child_by_attribute("index", "3");
  EXPECT_STREQ(third.text().get(), "Maybe");

  EXPECT_EQ(To(Ballot(kBob, qid, {"1"}), kBob).ErrorCode(), Code(ErrorCode::kWrongState));
  EXPECT_EQ(To(Voting(kAnn, "start", "<qid>" + qid + "</qid>"), kAnn).type(), "result");

  EXPECT_EQ(To(Ballot(kBob, qid, {"1"}), kBob).type(), "result");
  EXPECT_EQ(To(Ballot(kBob, qid, {"2"}), kBob).ErrorCode(), Code(ErrorCode::kAlreadyVoted));
  EXPECT_EQ(To(Ballot(kCid, qid, {"1", "2"}), kCid).ErrorCode(), Code(ErrorCode::kNotSingleChoice));
  EXPECT_EQ(To(Ballot(kCid, qid, {"9"}), kCid).ErrorCode(), Code(ErrorCode::kUnknownSubject));
  EXPECT_EQ(To(Ballot(kCid, qid, {}), kCid).ErrorCode(), Code(ErrorCode::kEmptyBallot));
  EXPECT_EQ(To(Ballot(kCid, qid, {"1"}), kCid).type(), "result");
  EXPECT_EQ(To(Voting(kAnn, "result", "<qid>" + qid + "</qid>"), kAnn).ErrorCode(),
            Code(ErrorCode::kWrongState));

  const Packet& live = To(Voting(kAnn, "kithe", "<qid>" + qid + "</qid>"), kAnn);
  EXPECT_EQ(live.text("count"), "2");
  ASSERT_EQ(TallyOf(live).size(), 3u);
  EXPECT_EQ(TallyOf(live)[0].users, (std::vector<std::string>{"Bob", "Cid"}));

  EXPECT_EQ(To(Voting(kAnn, "end", "<qid>" + qid + "</qid>"), kAnn).type(), "result");
  EXPECT_EQ(To(Ballot(kAnn, qid, {"2"}), kAnn).ErrorCode(), Code(ErrorCode::kWrongState));

  const Packet& result = To(Voting(kCid, "result", "<qid>" + qid + "</qid>"), kCid);
  EXPECT_EQ(result.query().attribute("code").value(), std::string("0"));
  const auto tally = TallyOf(result);
  ASSERT_EQ(tally.size(), 3u);
  EXPECT_EQ(tally[0].name, "Yes");
  EXPECT_EQ(tally[0].count, 2);
  EXPECT_EQ(tally[0].users, (std::vector<std::string>{"Bob", "Cid"}));
  // A subject nobody chose still states its count, as readers fall back on it.
  EXPECT_EQ(tally[1].count, 0);
  EXPECT_TRUE(tally[1].users.empty());
}

TEST_F(VotingTest, UnregisteredMultipleChoiceCountsWithoutNames) {
  const std::string qid = ReferVote(/*multi=*/true, /*reg=*/false);
  Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  EXPECT_EQ(To(Ballot(kBob, qid, {"1", "3"}), kBob).type(), "result");
  EXPECT_EQ(To(Ballot(kCid, qid, {"3"}), kCid).type(), "result");
  EXPECT_EQ(To(Ballot(kAnn, qid, {"2", "2"}), kAnn).ErrorCode(),
            Code(ErrorCode::kMalformedRequest));
  Voting(kAnn, "end", "<qid>" + qid + "</qid>");

  const auto tally = TallyOf(To(Voting(kAnn, "result", "<qid>" + qid + "</qid>"), kAnn));
  ASSERT_EQ(tally.size(), 3u);
  EXPECT_EQ(tally[0].count, 1);
  EXPECT_EQ(tally[1].count, 0);
  EXPECT_EQ(tally[2].count, 2);
  for (const auto& subject : tally) EXPECT_TRUE(subject.users.empty());
}

TEST_F(VotingTest, StartAndEndArePushedToTheOthers) {
  const std::string qid = ReferVote(false, false);
  const auto packets = Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  ASSERT_EQ(packets.size(), 3u);
  for (const char* other : {kBob, kCid}) {
    const Packet& push = To(packets, other);
    EXPECT_EQ(push.type(), "set");
    EXPECT_STREQ(push.query().attribute("type").value(), "start");
    EXPECT_EQ(push.text("qid"), qid);
    EXPECT_EQ(push.text("caption"), "Lunch?");
  }
  EXPECT_EQ(Voting(kAnn, "end", "<qid>" + qid + "</qid>").size(), 3u);
  EXPECT_EQ(To(Voting(kAnn, "start", "<qid>" + qid + "</qid>"), kAnn).ErrorCode(),
            Code(ErrorCode::kWrongState));
}

TEST_F(VotingTest, TimeoutEndsTheVoteAndTellsEverybody) {
  const std::string qid = ReferVote(false, false, " 30 ");
  Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  now_ += 29s;
  EXPECT_TRUE(server_->Tick().empty());
  EXPECT_EQ(To(Ballot(kBob, qid, {"1"}), kBob).type(), "result");

  now_ += 1s;
  const auto pushes = ParseAll(server_->Tick());
  ASSERT_EQ(pushes.size(), 3u);
  for (const char* everybody : {kAnn, kBob, kCid}) {
    EXPECT_STREQ(To(pushes, everybody).query().attribute("type").value(), "end");
  }
  EXPECT_TRUE(server_->Tick().empty());
  EXPECT_EQ(To(Ballot(kCid, qid, {"1"}), kCid).ErrorCode(), Code(ErrorCode::kWrongState));
  EXPECT_EQ(TallyOf(To(Voting(kAnn, "result", "<qid>" + qid + "</qid>"), kAnn))[0].count, 1);
}

TEST_F(VotingTest, LateBallotSeesTheVoteEndedEvenBeforeATick) {
  const std::string qid = ReferVote(false, false, "5");
  Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  now_ += 6s;
  const auto packets = Ballot(kBob, qid, {"1"});
  ASSERT_EQ(packets.size(), 4u);  // the three end pushes, then the refusal
  EXPECT_STREQ(packets[0].query().attribute("type").value(), "end");
  EXPECT_EQ(packets[3].to, kBob);
  EXPECT_EQ(packets[3].ErrorCode(), Code(ErrorCode::kWrongState));
}

TEST_F(VotingTest, ShowAllListsEveryVoteWithItsState) {
  const std::string ready = ReferVote(false, false);
  const std::string running = ReferVote(false, false);
  Voting(kAnn, "start", "<qid>" + running + "</qid>");
  const std::string drafted = To(Voting(kAnn, "apply"), kAnn).text("qid");

  const Packet& list = To(Voting(kBob, "showall"), kBob);
  const pugi::xml_node query = list.query();
  EXPECT_EQ(
      query.find_child_by_attribute("subject", "id", ready.c_str()).attribute("type").as_int(), 1);
  EXPECT_STREQ(query.find_child_by_attribute("subject", "id", running.c_str()).text().get(),
               "Lunch?");
  EXPECT_EQ(
      query.find_child_by_attribute("subject", "id", running.c_str()).attribute("type").as_int(),
      2);
  EXPECT_EQ(
      query.find_child_by_attribute("subject", "id", drafted.c_str()).attribute("type").as_int(),
      0);
}

TEST_F(VotingTest, DeletedVoteIsUnknown) {
  const std::string qid = ReferVote(false, false);
  EXPECT_EQ(To(Voting(kAnn, "delete", "<qid>" + qid + "</qid>"), kAnn).text("qid"), qid);
  const Packet& refused = To(Voting(kAnn, "content", "<qid>" + qid + "</qid>"), kAnn);
  EXPECT_EQ(refused.ErrorCode(), Code(ErrorCode::kUnknownVote));
  EXPECT_EQ(refused.iq().child("error").child("qid").text().get(), qid);
  EXPECT_EQ(To(Voting(kAnn, "delete", "<qid>" + qid + "</qid>"), kAnn).ErrorCode(),
            Code(ErrorCode::kUnknownVote));
}

TEST_F(VotingTest, ReferRefusesWhatCannotBeVotedOn) {
  const std::string qid = To(Voting(kAnn, "apply"), kAnn).text("qid");
  const std::string head = "<qid>" + qid + "</qid><caption>c</caption>";
  for (const std::string& body : {
           head + "<subjects/>",
           head + "<timeout>soon</timeout><subjects><subject index=\"1\">a</subject></subjects>",
           head + "<timeout>-1</timeout><subjects><subject index=\"1\">a</subject></subjects>",
           head + "<multi>yes</multi><subjects><subject index=\"1\">a</subject></subjects>",
           head + "<subjects><subject index=\"1\">a</subject><subject index=\"1\">b</subject>"
                  "</subjects>",
           head + "<subjects><subject>a</subject></subjects>",
       }) {
    EXPECT_EQ(To(Voting(kAnn, "refer", body), kAnn).ErrorCode(), Code(ErrorCode::kMalformedRequest))
        << body;
  }
  EXPECT_EQ(To(Voting(kAnn, "start", "<qid>" + qid + "</qid>"), kAnn).ErrorCode(),
            Code(ErrorCode::kWrongState));
}

TEST_F(VotingTest, RunningVoteCannotBeRedefined) {
  const std::string qid = ReferVote(false, false);
  Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  const auto refused = Voting(kAnn, "refer",
                              "<qid>" + qid +
                                  "</qid><caption>x</caption>"
                                  "<subjects><subject index=\"1\">a</subject></subjects>");
  EXPECT_EQ(To(refused, kAnn).ErrorCode(), Code(ErrorCode::kWrongState));
  EXPECT_EQ(To(Voting(kAnn, "content", "<qid>" + qid + "</qid>"), kAnn).text("caption"), "Lunch?");
}

// The forms of a vote's settings that people write: flags in any letter case, a timeout with
// blanks around it, empty or absent meaning none.
TEST_F(VotingTest, ReferReadsFlagsInAnyCaseAndTimeoutsWithBlanksFault) {
  struct Row {
    const char* settings;
    const char* multi;
    const char* reg;
    const char* timeout;
  };
  const Row rows[] = {
      {"<multi>TRUE</multi><reg>True</reg>", "true", "true", "0"},
      {"<multi>False</multi><reg>fALSE</reg><timeout> 30\t</timeout>", "false", "false", "30"},
      {"<reg>true</reg><timeout>\n604800 </timeout>", "false", "true", "604800"},
      {"<multi>true</multi><timeout>  </timeout>", "true", "false", "0"},
  };
  for (const Row& row : rows) {
    const std::string qid = To(Voting(kAnn, "apply"), kAnn).text("qid");
    const Packet reply = To(Voting(kAnn, "refer",
                                   "<qid>" + qid + "</qid><caption>c</caption>" + row.settings +
                                       "<subjects><subject index=\"1\">a</subject></subjects>"),
                            kAnn);
    ASSERT_EQ(reply.type(), "result") << row.settings;
    EXPECT_EQ(reply.text("multi"), row.multi) << row.settings;
    EXPECT_EQ(reply.text("reg"), row.reg) << row.settings;
    EXPECT_EQ(reply.text("timeout"), row.timeout) << row.settings;
  }
}

// Every index of a ballot is checked, wherever it stands, in single and multiple choice votes
// alike; a refused ballot counts for nothing and leaves its voter free to vote again.
TEST_F(VotingTest, EachBallotShapeIsCheckedIndexByIndexFault) {
  const std::string single = ReferVote(false, false);
  const std::string multiple = ReferVote(true, false);
  Voting(kAnn, "start", "<qid>" + single + "</qid>");
  Voting(kAnn, "start", "<qid>" + multiple + "</qid>");
  struct Row {
    bool multiple_choice;
    std::vector<std::string> indexes;
    int code;  // 0: counted
  };
  const Row rows[] = {
      {false, {"2"}, 0},
      {false, {"1", "2"}, Code(ErrorCode::kNotSingleChoice)},
      {false, {"4"}, Code(ErrorCode::kUnknownSubject)},
      {false, {}, Code(ErrorCode::kEmptyBallot)},
      {true, {"1", "3"}, 0},
      {true, {"3", "2", "1"}, 0},
      {true, {"1", "4"}, Code(ErrorCode::kUnknownSubject)},
      {true, {"4", "1"}, Code(ErrorCode::kUnknownSubject)},
      {true, {"1", "2", "x"}, Code(ErrorCode::kUnknownSubject)},
      {true, {"2", "2"}, Code(ErrorCode::kMalformedRequest)},
      {true, {"1", "3", "1"}, Code(ErrorCode::kMalformedRequest)},
      {true, {""}, Code(ErrorCode::kUnknownSubject)},
      {true, {}, Code(ErrorCode::kEmptyBallot)},
  };
  int voter_number = 0;
  for (const Row& row : rows) {
    const std::string& qid = row.multiple_choice ? multiple : single;
    const std::string voter = "voter" + std::to_string(++voter_number) + "@example.org/desk";
    ASSERT_TRUE(server_->Join(kRoom, voter, "V"));
    const std::string shape = ::testing::PrintToString(row.indexes);
    const std::vector<SubjectTally> before =
        TallyOf(To(Voting(kAnn, "kithe", "<qid>" + qid + "</qid>"), kAnn));
    const Packet answer = To(Ballot(voter, qid, row.indexes), voter);
    const std::vector<SubjectTally> after =
        TallyOf(To(Voting(kAnn, "kithe", "<qid>" + qid + "</qid>"), kAnn));
    ASSERT_EQ(after.size(), 3u);
    if (row.code != 0) {
      EXPECT_EQ(answer.ErrorCode(), row.code) << shape;
      for (std::size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].count, before[i].count);
      EXPECT_EQ(To(Ballot(voter, qid, {"1"}), voter).type(), "result") << shape;
      continue;
    }
    EXPECT_EQ(answer.type(), "result") << shape;
    for (std::size_t i = 0; i < after.size(); ++i) {
      const bool chosen = std::find(row.indexes.begin(), row.indexes.end(),
                                    std::to_string(i + 1)) != row.indexes.end();
      EXPECT_EQ(after[i].count, before[i].count + (chosen ? 1 : 0)) << shape << " subject " << i;
    }
  }
}

}  // namespace
}  // namespace quenlo::server::testing
