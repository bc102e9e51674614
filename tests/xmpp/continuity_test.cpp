// The meeting goes on through the end of the service: confserver killed or stopped in the
// middle of a vote and started again on its store, or taken over by a standby during a burst of
// ballots. The participants are bare XMPP clients that do nothing about it (they do not even
// answer pings, as many clients do not).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr auto kBackWithin = 5s;

std::string Qid(int vote) { return "<qid>" + std::to_string(vote) + "</qid>"; }

std::string BallotFor(int vote, int subject) {
  return Qid(vote) + "<subjects><subject>" + std::to_string(subject) + "</subject></subjects>";
}

class ContinuityTest : public ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    StartComponent();
    chair_ = &Client("alice");
    chair_->Join(kRoom, "Alice");
  }

  TestClient& Participant(const std::string& user, const std::string& nick) {
    TestClient& client = Client(user);
    client.Join(kRoom, nick);
    return client;
  }

  // Sends a voting request; gives its id.
  std::string Send(TestClient& client, const std::string& type, const std::string& body) {
    const std::string id = "r" + std::to_string(++requests_);
    client.Send("<iq type='set' id='" + id + "' to='" + kRoom + "'><query type='" + type +
                "' xmlns='quenlo:conf:voting'>" + body + "</query></iq>");
    return id;
  }
  ReceivedStanza Call(TestClient& client, const std::string& type, const std::string& body) {
    const std::string id = Send(client, type, body);
    if (!RunUntil(context_, [&] { return client.AnswerTo(id) != nullptr; })) {
      throw std::runtime_error("no answer to " + type + "\n" + ComponentLog());
    }
    return *client.AnswerTo(id);
  }
  // A vote with two subjects, started; gives its number.
  int StartVote(const std::string& extra = "") {
    const ReceivedStanza applied = Call(*chair_, "apply", "");
    pugi::xml_document reply;
    reply.load_string(applied.text.c_str());
    const int vote = reply.child("iq").child("query").child("qid").text().as_int();
    Call(*chair_, "refer",
         Qid(vote) + "<caption>Motion</caption><reg>true</reg>" + extra +
             "<subjects><subject index='1'>Yes</subject><subject index='2'>No</subject>"
             "</subjects>");
    if (Call(*chair_, "start", Qid(vote)).type != "result") throw std::runtime_error("no start");
    return vote;
  }

  static int CodeOf(const ReceivedStanza& answer) {
    pugi::xml_document document;
    document.load_string(answer.text.c_str());
    return document.child("iq").child("error").attribute("code").as_int();
  }
  // The voters' names in the vote's tally, over all subjects.
  std::multiset<std::string> Voters(int vote) {
    pugi::xml_document tally;
    tally.load_string(Call(*chair_, "kithe", Qid(vote)).text.c_str());
    std::multiset<std::string> names;
    for (const pugi::xml_node subject :
         tally.child("iq").child("query").child("subjects").children("subject")) {
      for (const pugi::xml_node user : subject.children("user")) names.insert(user.text().get());
    }
    return names;
  }
  // How many pushes of the end of `vote` reached `client`.
  static int EndsSeen(const TestClient& client, int vote) {
    int count = 0;
    for (const ReceivedStanza& stanza : client.received()) {
      if (stanza.name == "iq" && stanza.type == "set" && stanza.from == kRoom &&
          stanza.text.find("type=\"end\"") != std::string::npos &&
          stanza.text.find(Qid(vote)) != std::string::npos) {
        ++count;
      }
    }
    return count;
  }
  // Presences from `occupant` of `type` ("" for available) that carry the status `code`, from
  // the `from`th stanza `client` received on.
  static int Presences(const TestClient& client, const std::string& occupant,
                       const std::string& type, const std::string& code, std::size_t from = 0) {
    int count = 0;
    for (std::size_t i = from; i < client.received().size(); ++i) {
      const ReceivedStanza& stanza = client.received()[i];
      if (stanza.name == "presence" && stanza.from == occupant && stanza.type == type &&
          stanza.text.find("code=\"" + code + "\"") != std::string::npos) {
        ++count;
      }
    }
    return count;
  }

  TestClient* chair_ = nullptr;
  int requests_ = 0;
};

class ContinuityRestartTest : public ContinuityTest, public ::testing::WithParamInterface<int> {};

// The service ends in the middle of a vote (killed, or stopped with SIGTERM) and starts again on
// its store. Nobody joins again: the service finds who is still there, drops who has gone, and
// the vote goes on.
TEST_P(ContinuityRestartTest, TheMeetingGoesOnWithoutAnyoneJoiningAgain) {
  const int signal = GetParam();
  std::vector<std::pair<TestClient*, std::string>> present = {
      {chair_, "Alice"},
      {&Participant("bob", "Bob"), "Bob"},
      {&Participant("carol", "Carol"), "Carol"},
      {&Participant("dave", "Dave"), "Dave"}};
  TestClient& bob = *present[1].first;
  TestClient& carol = *present[2].first;
  TestClient& dave = *present[3].first;
  TestClient& leaver = Participant("load0", "Eve");
  const int vote = StartVote();
  ASSERT_EQ(Call(bob, "voting", BallotFor(vote, 1)).type, "result");
  ASSERT_EQ(Call(carol, "voting", BallotFor(vote, 2)).type, "result");
  const int quick = StartVote("<timeout>1</timeout>");

  std::vector<std::size_t> before;
  for (const auto& [client, nick] : present) before.push_back(client->received().size());
  ASSERT_TRUE(component_->Stop(signal, 5s));
  if (signal == SIGTERM) {
    // Everybody is told the service is going away (332), as about themselves (110).
    const auto told = [&](TestClient& client, const std::string& nick) {
      return Presences(client, std::string(kRoom) + "/" + nick, "unavailable", "332") == 1 &&
             Presences(client, std::string(kRoom) + "/" + nick, "unavailable", "110") == 1;
    };
    EXPECT_TRUE(RunUntil(context_, [&] {
      for (const auto& [client, nick] : present) {
        if (!told(*client, nick)) return false;
      }
      return told(leaver, "Eve");
    }));
  }
  // Eve goes offline while the service is down: her leaving reaches nobody.
  leaver.Disconnect();
  // The quick vote runs out meanwhile.
  std::this_thread::sleep_for(1500ms);

  const auto restart = SteadyClock::now();
  StartComponent();
  // Everybody still online is told they are in again, without asking.
  const bool back = RunUntil(
      context_,
      [&] {
        for (std::size_t i = 0; i < present.size(); ++i) {
          const auto& [client, nick] = present[i];
          if (Presences(*client, std::string(kRoom) + "/" + nick, "", "110", before[i]) != 1) {
            return false;
          }
        }
        return true;
      },
      kBackWithin);
  const auto took = SteadyClock::now() - restart;
  ASSERT_TRUE(back) << ComponentLog();
  std::printf(
      "everybody back in %lld ms after the start\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

  // The vote that ran out while the service was down is pushed to everybody who is back.
  EXPECT_TRUE(RunUntil(context_, [&] {
    for (const auto& [client, nick] : present) {
      if (EndsSeen(*client, quick) == 0) return false;
    }
    return true;
  }));
  // The remaining ballots are accepted, a second one refused (already voted).
  EXPECT_EQ(Call(dave, "voting", BallotFor(vote, 1)).type, "result");
  EXPECT_EQ(Call(*chair_, "voting", BallotFor(vote, 2)).type, "result");
  EXPECT_EQ(CodeOf(Call(bob, "voting", BallotFor(vote, 2))), 12);
  EXPECT_EQ(Call(*chair_, "end", Qid(vote)).type, "result");
  EXPECT_TRUE(RunUntil(context_, [&] {
    return EndsSeen(bob, vote) == 1 && EndsSeen(carol, vote) == 1 && EndsSeen(dave, vote) == 1;
  }));
  EXPECT_EQ(Voters(vote), (std::multiset<std::string>{"Alice", "Bob", "Carol", "Dave"}));
  for (const auto& [client, nick] : present) {
    EXPECT_EQ(EndsSeen(*client, quick), 1) << nick;
    EXPECT_LE(EndsSeen(*client, vote), 1) << nick;
  }

  // What the checks were answered, which the deployment notes rely on: Prosody itself answers
  // service-unavailable for Eve's resource, gone offline; the others' clients (no ping handler)
  // do not answer at all.
  const std::string log = ComponentLog();
  EXPECT_NE(log.find(leaver.jid() + " has gone from " + kRoom + " (service-unavailable)"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(bob.jid() + " is still in " + kRoom + " as Bob (no answer)"),
            std::string::npos)
      << log;

  // Eve was dropped: back online, she is a stranger until she joins.
  TestClient& returning = Client("load0");
  EXPECT_EQ(CodeOf(Call(returning, "showall", "")), 4);
  returning.Join(kRoom, "Eve");
  EXPECT_EQ(Call(returning, "showall", "").type, "result");
}

INSTANTIATE_TEST_SUITE_P(Signals, ContinuityRestartTest, ::testing::Values(SIGKILL, SIGTERM),
                         [](const auto& signal) {
                           return std::string(signal.param == SIGKILL ? "Killed" : "Stopped");
                         });

constexpr int kVoters = 10;
constexpr int kVotes = 50;  // kVoters * kVotes ballots in the burst

// A standby on the same store takes over when the service is killed in the middle of a burst of
// ballots; every ballot answered (by either) counts once, and those that went unanswered are
// sent again by their voters.
TEST_F(ContinuityTest, AStandbyTakesOverDuringABurstOfBallots) {
  std::vector<std::string> arguments = ServerArguments();
  arguments.push_back("--standby");
  std::unique_ptr<ChildProcess> standby = LaunchConfserver(arguments, "standby.log");
  ASSERT_TRUE(WaitForOutput(*standby, server_->PathFor("standby.log"), "standing by", 10s))
      << ReadFile(server_->PathFor("standby.log"));

  std::vector<TestClient*> voters;
  for (int i = 0; i < kVoters; ++i) {
    voters.push_back(&Participant("load" + std::to_string(i), "Voter" + std::to_string(i)));
  }
  std::vector<int> votes;
  for (int i = 0; i < kVotes; ++i) votes.push_back(StartVote());

  struct Cast {
    TestClient* voter;
    int vote;
    std::string id;
  };
  std::vector<Cast> burst;
  for (const int vote : votes) {
    for (TestClient* voter : voters) {
      burst.push_back({voter, vote, Send(*voter, "voting", BallotFor(vote, 1))});
    }
  }
  const auto answered = [&] {
    std::size_t count = 0;
    for (const Cast& cast : burst) count += cast.voter->AnswerTo(cast.id) != nullptr ? 1 : 0;
    return count;
  };
  ASSERT_TRUE(RunUntil(context_, [&] { return answered() >= burst.size() / 3; }));
  component_->Stop(SIGKILL, 5s);
  const auto killed = SteadyClock::now();
  const std::size_t answered_before = answered();

  // The standby serves: a request of the chair, sent again until it is answered by the service.
  bool serving = false;
  while (!serving && SteadyClock::now() - killed < 2 * kBackWithin) {
    const std::string id = Send(*chair_, "showall", "");
    RunUntil(
        context_, [&] { return chair_->AnswerTo(id) != nullptr; }, 500ms);
    serving = chair_->AnswerTo(id) != nullptr && chair_->AnswerTo(id)->type == "result";
  }
  const auto took = SteadyClock::now() - killed;
  ASSERT_TRUE(serving) << ReadFile(server_->PathFor("standby.log"));
  EXPECT_LT(took, kBackWithin);
  std::printf(
      "standby served %lld ms after the kill; %zu of %zu ballots answered before\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()),
      answered_before, burst.size());
  component_ = std::move(standby);  // stopped (and checked) at the end of the test

  // What was on its way is answered or bounced by now; a ballot without the service's answer is
  // sent again, and one that had been counted is refused as a second ballot.
  RunUntil(
      context_, [&] { return answered() == burst.size(); }, 2s);
  int resent = 0;
  for (const Cast& cast : burst) {
    const ReceivedStanza* answer = cast.voter->AnswerTo(cast.id);
    if (answer != nullptr && answer->type == "result") continue;
    ASSERT_TRUE(answer == nullptr || CodeOf(*answer) == 0) << answer->text;
    ++resent;
    const ReceivedStanza again = Call(*cast.voter, "voting", BallotFor(cast.vote, 1));
    EXPECT_TRUE(again.type == "result" || CodeOf(again) == 12) << again.text;
  }
  std::printf("%d ballots sent again\n", resent);

  std::multiset<std::string> everybody;
  for (int i = 0; i < kVoters; ++i) everybody.insert("Voter" + std::to_string(i));
  for (const int vote : votes) EXPECT_EQ(Voters(vote), everybody) << "vote " << vote;
}

}  // namespace
}  // namespace quenlo::xmpp_test
