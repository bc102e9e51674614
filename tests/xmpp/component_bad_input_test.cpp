// What confserver gets wrong from clients: each request gets one XMPP error answer, the
// component keeps serving, and (under the sanitizers) nothing crashes or leaks: the fixture
// requires a clean exit at the end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

using ::testing::HasSubstr;

std::string Request(const std::string& id, const std::string& to, const std::string& query) {
  return "<iq type='set' id='" + id + "' to='" + to + "'>" + query + "</iq>";
}

class ComponentBadInputTest : public ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    StartComponent();
    alice_ = &Client("alice");
    alice_->Join(kRoom, "Alice");
  }

  // Sends one request of alice and gives its answer's text; fails the test when none comes.
  std::string AnswerOf(TestClient& client, const std::string& id, const std::string& iq) {
    client.Send(iq);
    if (!RunUntil(
            context_, [&] { return client.AnswerTo(id) != nullptr; }, 20s)) {
      ADD_FAILURE() << "no answer to " << id << "\n" << ComponentLog();
      return "";
    }
    EXPECT_EQ(client.AnswerTo(id)->type, "error") << client.AnswerTo(id)->text;
    return client.AnswerTo(id)->text;
  }

  TestClient* alice_ = nullptr;
};

TEST_F(ComponentBadInputTest, RequestsTheServiceCannotServeGetTheMatchingError) {
  EXPECT_THAT(AnswerOf(*alice_, "r1",
                       Request("r1", "nowhere@conference.example.net",
                               "<query type='browse' xmlns='quenlo:conf:agenda'/>")),
              HasSubstr("<item-not-found"));
  EXPECT_THAT(AnswerOf(*alice_, "r2", Request("r2", kRoom, "<query type='browse' xmlns='x:y'/>")),
              HasSubstr("<service-unavailable"));
  EXPECT_THAT(AnswerOf(*alice_, "r3", Request("r3", kRoom, "<query xmlns='quenlo:conf:voting'/>")),
              HasSubstr("<service-unavailable"));
  EXPECT_THAT(AnswerOf(*alice_, "r4", Request("r4", kRoom, "")), HasSubstr("<bad-request"));
  // Neither a room nor a room's address: the domain itself and an occupant.
  EXPECT_THAT(AnswerOf(*alice_, "r5", Request("r5", "conference.example.net", "<ping/>")),
              HasSubstr("<service-unavailable"));
  EXPECT_THAT(AnswerOf(*alice_, "r6", Request("r6", std::string(kRoom) + "/Bob", "<ping/>")),
              HasSubstr("<service-unavailable"));
  // Self-pings: a member's to its own occupant address is answered from there, a stranger's
  // refused.
  const std::string ping = "<ping xmlns='urn:xmpp:ping'/>";
  alice_->Send(Request("r6a", std::string(kRoom) + "/Alice", ping));
  ASSERT_TRUE(RunUntil(context_, [&] { return alice_->AnswerTo("r6a") != nullptr; }));
  EXPECT_EQ(alice_->AnswerTo("r6a")->type, "result");
  EXPECT_EQ(alice_->AnswerTo("r6a")->from, std::string(kRoom) + "/Alice");
  EXPECT_THAT(AnswerOf(Client("bob"), "r6b", Request("r6b", std::string(kRoom) + "/Bob", ping)),
              HasSubstr("<not-acceptable"));
  // The service's own code stays next to the XMPP condition, for the module to read.
  const std::string unknown_vote = AnswerOf(
      *alice_, "r7",
      Request("r7", kRoom, "<query type='start' xmlns='quenlo:conf:voting'><qid>9</qid></query>"));
  EXPECT_THAT(unknown_vote, HasSubstr("<code>10</code>"));
  EXPECT_THAT(unknown_vote, HasSubstr("<item-not-found"));
}

TEST_F(ComponentBadInputTest, OversizedAndDeeplyNestedRequestsAreRefusedUnread) {
  std::string nested;
  for (int i = 0; i < 10000; ++i) nested += "<a>";
  for (int i = 0; i < 10000; ++i) nested += "</a>";
  EXPECT_THAT(
      AnswerOf(*alice_, "deep",
               Request("deep", kRoom,
                       "<query type='browse' xmlns='quenlo:conf:agenda'>" + nested + "</query>")),
      HasSubstr("<not-acceptable"));
  const std::string megabyte(1024 * 1024, 'x');
  const std::string answer = AnswerOf(
      *alice_, "big",
      Request("big", kRoom,
              "<query type='create' xmlns='quenlo:conf:agenda'><subject><qid>q</qid><text>" +
                  megabyte + "</text></subject></query>"));
  EXPECT_THAT(answer, HasSubstr("<not-acceptable"));
  EXPECT_LT(answer.size(), 1000u) << "the answer must not carry the request back";

  // Still serving, and nothing of the refused item was kept.
  alice_->Send(Request("after", kRoom, "<query type='browse' xmlns='quenlo:conf:agenda'/>"));
  ASSERT_TRUE(RunUntil(context_, [&] { return alice_->AnswerTo("after") != nullptr; }));
  EXPECT_EQ(alice_->AnswerTo("after")->type, "result");
  EXPECT_THAT(alice_->AnswerTo("after")->text, ::testing::Not(HasSubstr("<qid>q</qid>")));
}

TEST_F(ComponentBadInputTest, AnOutsidersBallotIsForbidden) {
  const std::string apply = "<query type='apply' xmlns='quenlo:conf:voting'/>";
  alice_->Send(Request("a1", kRoom, apply));
  const std::string subjects =
      "<subjects><subject index='1'>Yes</subject><subject index='2'>No</subject></subjects>";
  alice_->Send(Request("f1", kRoom,
                       "<query type='refer' xmlns='quenlo:conf:voting'><qid>1</qid><caption>C"
                       "</caption>" +
                           subjects + "</query>"));
  alice_->Send(
      Request("s1", kRoom, "<query type='start' xmlns='quenlo:conf:voting'><qid>1</qid></query>"));
  ASSERT_TRUE(RunUntil(context_, [&] { return alice_->AnswerTo("s1") != nullptr; }));
  ASSERT_EQ(alice_->AnswerTo("s1")->type, "result") << alice_->AnswerTo("s1")->text;

  TestClient& dave = Client("dave");
  const std::string ballot =
      "<query type='voting' xmlns='quenlo:conf:voting'><qid>1</qid><subjects>1<subject>1"
      "</subject></subjects></query>";
  const std::string answer = AnswerOf(dave, "v1", Request("v1", kRoom, ballot));
  EXPECT_THAT(answer, HasSubstr("<forbidden"));
  EXPECT_THAT(answer, HasSubstr("<code>4</code>"));

  alice_->Send(
      Request("k1", kRoom, "<query type='kithe' xmlns='quenlo:conf:voting'><qid>1</qid></query>"));
  ASSERT_TRUE(RunUntil(context_, [&] { return alice_->AnswerTo("k1") != nullptr; }));
  EXPECT_THAT(alice_->AnswerTo("k1")->text, HasSubstr("<count>0</count>"));
}

}  // namespace
}  // namespace quenlo::xmpp_test
