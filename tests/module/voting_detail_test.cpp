// VotingDetail: tallies by subject with named and unnamed votes, its own status rule for
// GetSubjectResult, and counts held as numbers.
#include <gtest/gtest.h>

#include <chrono>

#include "voting_fixture.h"

namespace quenlo::confext {

namespace {

using VotingDetailTest = AttachedVotingTest;

struct Tally {
  std::string name;
  LONG votes;
  bool operator==(const Tally&) const = default;
};

std::vector<Tally> Tallies(IVotingDetail* detail, LONG positions) {
  std::vector<Tally> tallies;
  for (LONG position = 0; position < positions; ++position) {
    LONG votes = -1;
    const OLECHAR* name = nullptr;
    EXPECT_EQ(detail->GetSubjectResult(position, &votes, &name), S_FALSE) << position;
    tallies.push_back({ToUtf8(name), votes});
  }
  return tallies;
}

TEST_F(VotingDetailTest, NamedAndCountedVotes) {
  const ComPtr<IVotingDetail> detail = Announced<IVotingDetail>(
      "result",
      "<qid>Q1</qid><count>5</count>"
      "<subject name='X' index='1'><user>ann</user><user>bob</user></subject>"
      "<subject name='Y' index='2' count='3'/>");
  ASSERT_TRUE(detail);
  LONG subjects = 0;
  ASSERT_EQ(detail->GetSubjectCount(&subjects), S_OK);
  EXPECT_EQ(subjects, 2);
  EXPECT_EQ(Tallies(detail.Get(), 2), (std::vector<Tally>{{"X", 2}, {"Y", 3}}));

  const OLECHAR* voter = nullptr;
  ASSERT_EQ(detail->GetVoter(OLESTR("X"), 1, &voter), S_OK);
  EXPECT_EQ(ToUtf8(voter), "bob");
  voter = OLESTR("untouched");
  ASSERT_EQ(detail->GetVoter(OLESTR("Y"), 0, &voter), S_OK);
  EXPECT_EQ(voter, nullptr);
  ASSERT_EQ(detail->GetVoter(OLESTR("Y"), 2, &voter), S_OK);
  EXPECT_EQ(voter, nullptr);

  const OLECHAR* untouched = OLESTR("untouched");
  voter = untouched;
  EXPECT_EQ(detail->GetVoter(OLESTR("X"), 2, &voter), S_FALSE);
  EXPECT_EQ(detail->GetVoter(OLESTR("X"), -1, &voter), S_FALSE);
  EXPECT_EQ(detail->GetVoter(OLESTR("Y"), 3, &voter), S_FALSE);
  EXPECT_EQ(detail->GetVoter(OLESTR("x"), 0, &voter), S_FALSE);
  EXPECT_EQ(detail->GetVoter(OLESTR("Z"), 0, &voter), S_FALSE);
  EXPECT_EQ(voter, untouched);

  LONG count = 0;
  ASSERT_EQ(detail->GetCount(&count), S_OK);
  EXPECT_EQ(count, 5);
  Bstr qid;
  ASSERT_EQ(detail->GetQid(qid.Put()), S_OK);
  EXPECT_EQ(ToUtf8(qid), "Q1");
}

TEST_F(VotingDetailTest, SubjectResultHasItsOwnStatusRule) {
  const ComPtr<IVotingDetail> detail =
      Announced<IVotingDetail>("kithe", "<subject name='A' index='1' count='4'/>");
  ASSERT_TRUE(detail);
  LONG votes = 77;
  const OLECHAR* untouched = OLESTR("untouched");
  const OLECHAR* name = untouched;
  // Found: 1 with both written; out of range: 0 with nothing written.
  EXPECT_EQ(detail->GetSubjectResult(0, &votes, &name), S_FALSE);
  EXPECT_EQ(votes, 4);
  EXPECT_EQ(ToUtf8(name), "A");
  votes = 77;
  name = untouched;
  EXPECT_EQ(detail->GetSubjectResult(1, &votes, &name), S_OK);
  EXPECT_EQ(detail->GetSubjectResult(-1, &votes, &name), S_OK);
  EXPECT_EQ(votes, 77);
  EXPECT_EQ(name, untouched);
}

TEST_F(VotingDetailTest, WithoutAnyNamedVoterGetVoterGivesTheEmptyString) {
  const ComPtr<IVotingDetail> detail = Announced<IVotingDetail>(
      "kithe", "<subject name='A' index='1' count='2'/><subject name='B' index='2' count='0'/>");
  ASSERT_TRUE(detail);
  const OLECHAR* voter = nullptr;
  EXPECT_EQ(detail->GetVoter(OLESTR("A"), 0, &voter), S_FALSE);
  ASSERT_NE(voter, nullptr);
  EXPECT_EQ(voter[0], u'\0');
  voter = nullptr;
  EXPECT_EQ(detail->GetVoter(OLESTR("B"), 99, &voter), S_FALSE);
  ASSERT_NE(voter, nullptr);
  const OLECHAR* untouched = OLESTR("untouched");
  voter = untouched;
  EXPECT_EQ(detail->GetVoter(OLESTR("C"), 0, &voter), S_FALSE);
  EXPECT_EQ(voter, untouched);
}

TEST_F(VotingDetailTest, RepeatedNamesCountOnceAndShowTheFirstTally) {
  const ComPtr<IVotingDetail> detail = Announced<IVotingDetail>(
      "result",
      "<subject name='S' index='2' count='9'/><subject name='S' index='1' count='5'/>"
      "<subject name='T' index='1' count='1'/>");
  ASSERT_TRUE(detail);
  LONG subjects = 0;
  ASSERT_EQ(detail->GetSubjectCount(&subjects), S_OK);
  EXPECT_EQ(subjects, 2);
  // Index "1" first names S (its first occurrence), and S's tally is the first one read.
  EXPECT_EQ(Tallies(detail.Get(), 3), (std::vector<Tally>{{"S", 9}, {"S", 9}, {"S", 9}}));
}

TEST_F(VotingDetailTest, PositionsFollowTheIndexesInCodeUnitOrder) {
  const ComPtr<IVotingDetail> detail = Announced<IVotingDetail>(
      "result",
      "<subject name='two' index='2' count='2'/><subject name='ten' index='10' count='10'/>"
      "<subject name='one' index='1' count='1'/>");
  ASSERT_TRUE(detail);
  EXPECT_EQ(Tallies(detail.Get(), 3), (std::vector<Tally>{{"one", 1}, {"ten", 10}, {"two", 2}}));
}

// In order, but with an index twice: the repeated index names its first subject.
TEST_F(VotingDetailTest, AnIndexRepeatedInOrderNamesItsFirstSubject) {
  const ComPtr<IVotingDetail> repeated = Announced<IVotingDetail>(
      "result",
      "<subject name='a' index='1' count='1'/><subject name='b' index='1' count='2'/>"
      "<subject name='c' index='2' count='3'/>");
  ASSERT_TRUE(repeated);
  EXPECT_EQ(Tallies(repeated.Get(), 3), (std::vector<Tally>{{"a", 1}, {"a", 1}, {"c", 3}}));
}

TEST_F(VotingDetailTest, CountsAreNumbersNotEntries) {
  const auto started = std::chrono::steady_clock::now();
  const ComPtr<IVotingDetail> detail = Announced<IVotingDetail>(
      "kithe",
      "<subject name='huge' index='1' count='2000000000'/>"
      "<subject name='over' index='2' count='99999999999'/>"
      "<subject name='neg' index='3' count='-5'/><subject name='nan' index='4' count='x'/>"
      "<subject name='named' index='5'><user>u</user></subject>");
  ASSERT_TRUE(detail);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  EXPECT_EQ(Tallies(detail.Get(), 5),
            (std::vector<Tally>{
                {"huge", 2000000000}, {"over", 2147483647}, {"neg", 0}, {"nan", 0}, {"named", 1}}));
  const OLECHAR* voter = OLESTR("untouched");
  ASSERT_EQ(detail->GetVoter(OLESTR("huge"), 1999999999, &voter), S_OK);
  EXPECT_EQ(voter, nullptr);
  EXPECT_EQ(detail->GetVoter(OLESTR("huge"), 2000000000, &voter), S_FALSE);
  EXPECT_EQ(detail->GetVoter(OLESTR("over"), 2147483646, &voter), S_OK);
  EXPECT_EQ(detail->GetVoter(OLESTR("neg"), 0, &voter), S_FALSE);
}

TEST_F(VotingDetailTest, UsersOverrideTheCountAndAreFoundAtAnyDepth) {
  const ComPtr<IVotingDetail> detail = Announced<IVotingDetail>(
      "result",
      "<subject name='A' index='1' count='50'><g><user>x<b>y</b></user></g>"
      "<user></user></subject>");
  ASSERT_TRUE(detail);
  EXPECT_EQ(Tallies(detail.Get(), 1), (std::vector<Tally>{{"A", 2}}));
  const OLECHAR* voter = nullptr;
  ASSERT_EQ(detail->GetVoter(OLESTR("A"), 0, &voter), S_OK);
  EXPECT_EQ(ToUtf8(voter), "xy");
  ASSERT_EQ(detail->GetVoter(OLESTR("A"), 1, &voter), S_OK);
  EXPECT_EQ(ToUtf8(voter), "");
}

TEST_F(VotingDetailTest, AnEmptyNameIsANameLikeAnyOther) {
  const ComPtr<IVotingDetail> detail =
      Announced<IVotingDetail>("kithe", "<subject name='' index='1'><user>u</user></subject>");
  ASSERT_TRUE(detail);
  const OLECHAR* voter = nullptr;
  ASSERT_EQ(detail->GetVoter(OLESTR(""), 0, &voter), S_OK);
  EXPECT_EQ(ToUtf8(voter), "u");
  ASSERT_EQ(detail->GetVoter(nullptr, 0, &voter), S_OK);
}

// Reading every position of a large tally stays fast: positions are resolved once.
TEST_F(VotingDetailTest, ReadingEveryPositionOfALargeReplyIsNotQuadratic) {
  std::string body;
  constexpr int kSubjects = 10000;
  for (int i = 0; i < kSubjects; ++i) {
    body += "<subject name='s" + std::to_string(i) + "' index='" + std::to_string(i) + "' count='" +
            std::to_string(i) + "'/>";
  }
  const ComPtr<IVotingDetail> detail = Announced<IVotingDetail>("result", body);
  ASSERT_TRUE(detail);
  const auto started = std::chrono::steady_clock::now();
  long long total = 0;
  for (int round = 0; round < 20; ++round) {
    for (LONG position = 0; position < kSubjects; ++position) {
      LONG votes = 0;
      const OLECHAR* name = nullptr;
      ASSERT_EQ(detail->GetSubjectResult(position, &votes, &name), S_FALSE);
      total += votes;
    }
  }
  EXPECT_EQ(total, 20LL * kSubjects * (kSubjects - 1) / 2);
  // 200,000 reads; a walk from the first entry would take billions of steps.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

}  // namespace

}  // namespace quenlo::confext
