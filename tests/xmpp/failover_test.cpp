// Two confserver processes on one PostgreSQL database and one Prosody: one serves, the other
// stands by and takes over when the first dies or loses its database session, with a burst of
// ballots over several rooms in flight. Every ballot answered as counted is counted once, and
// nothing the first one does after the takeover lands.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "tests/postgres/postgres_server.h"
#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

using namespace std::chrono_literals;
using postgres_test::PostgresServer;
using Clock = std::chrono::steady_clock;

constexpr int kRooms = 4;
constexpr int kVotesPerRoom = 25;
constexpr int kVoters = 10;
constexpr std::size_t kBallots = kRooms * kVotesPerRoom * kVoters;
constexpr int kAlreadyVoted = 12;
constexpr int kNotStored = 6;
// The database's refusal of a write of a service that another has taken over from.
constexpr char kFencedOff[] = "another service has taken over the database";

std::string RoomAddress(int room) {
  return "room" + std::to_string(room) + "@" + XmppServer::kComponentDomain;
}

std::string Voting(const std::string& id, const std::string& room, const std::string& type,
                   const std::string& body) {
  return "<iq type='set' id='" + id + "' to='" + room + "'><query type='" + type +
         "' xmlns='quenlo:conf:voting'>" + body + "</query></iq>";
}

std::string Qid(int vote) { return "<qid>" + std::to_string(vote) + "</qid>"; }

int CodeOf(const ReceivedStanza& answer) {
  pugi::xml_document document;
  document.load_string(answer.text.c_str());
  return document.child("iq").child("error").attribute("code").as_int();
}

struct Ballot {
  TestClient* voter;
  std::string room;
  int vote;
  std::string id;
};

class FailoverTest : public ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    store_ = postgres_test::SharedPostgresServer().NewDatabase();
  }
  void TearDown() override {
    for (auto& service : services_) {
      if (service) service->Stop(SIGTERM, 10s);
    }
    ComponentFixture::TearDown();
  }

  ChildProcess& Start(int index) {
    std::vector<std::string> arguments = ServerArguments();
    arguments.push_back("--standby");
    services_[index] = LaunchConfserver(arguments, LogName(index));
    return *services_[index];
  }
  static std::string LogName(int index) { return "service" + std::to_string(index) + ".log"; }
  std::string LogOf(int index) const { return server_->PathFor(LogName(index)); }
  bool Logged(int index, const std::string& text) const {
    return ReadFile(LogOf(index)).find(text) != std::string::npos;
  }
  // Waits until service `index` has logged `text`; false when `timeout` passes first.
  bool WaitForLog(int index, const std::string& text, std::chrono::milliseconds timeout) {
    return RunUntil(
        context_, [&] { return Logged(index, text); }, timeout);
  }

  // Alice (who owns every room) and the voters join every room.
  void JoinAll() {
    for (int room = 0; room < kRooms; ++room) {
      owner_->Join(RoomAddress(room), "alice");
      for (TestClient* voter : voters_) {
        voter->Join(RoomAddress(room), voter->jid().substr(0, voter->jid().find('@')));
      }
    }
  }

  // The meeting: every room with its votes running, everybody in.
  void SetUpMeeting() {
    owner_ = &Client("alice");
    for (int voter = 0; voter < kVoters; ++voter) {
      voters_.push_back(&Client("load" + std::to_string(voter)));
    }
    JoinAll();
    std::size_t requests = 0;
    for (int room = 0; room < kRooms; ++room) {
      for (int vote = 1; vote <= kVotesPerRoom; ++vote) {
        const std::string key = std::to_string(room) + "-" + std::to_string(vote);
        owner_->Send(Voting("a" + key, RoomAddress(room), "apply", ""));
        owner_->Send(Voting("r" + key, RoomAddress(room), "refer",
                            Qid(vote) + "<caption>Motion</caption><reg>true</reg><subjects>"
                                        "<subject index='1'>Yes</subject></subjects>"));
        owner_->Send(Voting("s" + key, RoomAddress(room), "start", Qid(vote)));
        requests += 3;
      }
    }
    ASSERT_TRUE(RunUntil(
        context_, [&] { return owner_->AnswerCount() >= requests; }, 60s));
    for (const auto& [id, count] : owner_->answers()) {
      ASSERT_EQ(owner_->AnswerTo(id)->type, "result") << id;
    }
  }

  // Every voter's ballot in every vote of every room, all sent at once.
  std::vector<Ballot> SendBurst() {
    std::vector<Ballot> burst;
    for (int room = 0; room < kRooms; ++room) {
      for (int vote = 1; vote <= kVotesPerRoom; ++vote) {
        for (TestClient* voter : voters_) {
          Ballot& ballot = burst.emplace_back(
              Ballot{voter, RoomAddress(room), vote, "b" + std::to_string(burst.size())});
          voter->Send(Voting(ballot.id, ballot.room, "voting",
                             Qid(vote) + "<subjects><subject>1</subject></subjects>"));
        }
      }
    }
    return burst;
  }

  // Service 0 serves and service 1 stands by; the meeting is set up and `burst` sent, of which
  // `answered_first` ballots are answered on return.
  void MeetingWithAStandby(std::vector<Ballot>& burst, std::size_t answered_first) {
    Start(0);
    ASSERT_TRUE(WaitForLog(0, "connected to", 10s)) << ReadFile(LogOf(0));
    Start(1);
    ASSERT_TRUE(WaitForLog(1, "standing by", 10s)) << ReadFile(LogOf(1));
    ASSERT_NO_FATAL_FAILURE(SetUpMeeting());
    burst = SendBurst();
    ASSERT_TRUE(RunUntil(
        context_, [&] { return Answered(burst) >= answered_first; }, 60s));
  }

  std::size_t Answered(const std::vector<Ballot>& burst) const {
    std::size_t answered = 0;
    for (const Ballot& ballot : burst) answered += ballot.voter->AnswerTo(ballot.id) != nullptr;
    return answered;
  }

  // After the takeover everybody joins again and casts every ballot again: one the service had
  // answered as counted is refused as already cast; any other is counted now or was counted
  // before its answer was lost. Then every vote counts each voter once, in the service and in
  // the database alike.
  void ExpectEveryAnsweredBallotCountedOnce(const std::vector<Ballot>& burst) {
    JoinAll();
    int answered_before = 0;
    for (const Ballot& ballot : burst) {
      const ReceivedStanza* first = ballot.voter->AnswerTo(ballot.id);
      const bool counted = first != nullptr && first->type == "result";
      answered_before += counted;
      const std::string id = ballot.id + "-again";
      ballot.voter->Send(Voting(id, ballot.room, "voting",
                                Qid(ballot.vote) + "<subjects><subject>1</subject></subjects>"));
      ASSERT_TRUE(RunUntil(context_, [&] { return ballot.voter->AnswerTo(id) != nullptr; })) << id;
      const ReceivedStanza& again = *ballot.voter->AnswerTo(id);
      if (counted) {
        EXPECT_EQ(CodeOf(again), kAlreadyVoted)
            << ballot.id << " was counted twice: " << again.text;
      } else {
        EXPECT_TRUE(again.type == "result" || CodeOf(again) == kAlreadyVoted)
            << ballot.id << ": " << again.text;
      }
    }
    int refused = 0;
    for (const Ballot& ballot : burst) {
      const ReceivedStanza* first = ballot.voter->AnswerTo(ballot.id);
      refused += first != nullptr && first->type == "error" && CodeOf(*first) == kNotStored;
    }
    std::printf("%d of %zu ballots answered as counted before the takeover, %d as not stored\n",
                answered_before, burst.size(), refused);
    for (int room = 0; room < kRooms; ++room) {
      for (int vote = 1; vote <= kVotesPerRoom; ++vote) {
        const std::string id = "k" + std::to_string(room) + "-" + std::to_string(vote);
        owner_->Send(Voting(id, RoomAddress(room), "kithe", Qid(vote)));
        ASSERT_TRUE(RunUntil(context_, [&] { return owner_->AnswerTo(id) != nullptr; }));
        pugi::xml_document tally;
        tally.load_string(owner_->AnswerTo(id)->text.c_str());
        EXPECT_EQ(tally.child("iq").child("query").child("count").text().as_int(), kVoters) << id;
      }
    }
    EXPECT_EQ(PostgresServer::Query(store_, "SELECT count(*) FROM ballots"),
              std::to_string(burst.size()));
  }

  TestClient* owner_ = nullptr;
  std::vector<TestClient*> voters_;
  std::array<std::unique_ptr<ChildProcess>, 2> services_;
};

TEST_F(FailoverTest, PostgresBothStartedAtOnceExactlyOneConnects) {
  Start(0);
  Start(1);
  ASSERT_TRUE(RunUntil(
      context_, [&] { return Logged(0, "connected to") || Logged(1, "connected to"); }, 10s));
  const int active = Logged(0, "connected to") ? 0 : 1;
  // The other waits up to two seconds for the database before it stands by (a service killed
  // a moment ago would still hold it), and longer on a busy machine.
  ASSERT_TRUE(WaitForLog(1 - active, "standing by", 10s)) << ReadFile(LogOf(1 - active));
  EXPECT_FALSE(Logged(1 - active, "connected to")) << ReadFile(LogOf(1 - active));
  // A standby stops at once when asked.
  const auto status = services_[1 - active]->Stop(SIGTERM, 3s);
  ASSERT_TRUE(status && WIFEXITED(*status)) << ReadFile(LogOf(1 - active));
  EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST_F(FailoverTest, PostgresTheStandbyServesWithinFiveSecondsOfAKill) {
  std::vector<Ballot> burst;
  ASSERT_NO_FATAL_FAILURE(MeetingWithAStandby(burst, kBallots / 5));
  services_[0]->Stop(SIGKILL, 5s);
  const auto killed = Clock::now();
  ASSERT_TRUE(WaitForLog(1, "connected to", 10s)) << ReadFile(LogOf(1));
  const auto takeover = Clock::now() - killed;
  EXPECT_LT(takeover, 5s);
  std::printf("the standby served %lld ms after the kill\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(takeover).count()));
  ExpectEveryAnsweredBallotCountedOnce(burst);
}

// The active service is frozen while its session is cut, so that the standby has taken over
// before it can notice. A ballot that reaches it from then on is still handled, and the fencing
// number refuses its write: the database names the refused ballot in its log, nothing of it is
// kept, and its voter is never told it was counted.
TEST_F(FailoverTest, PostgresAServiceThatLostItsSessionStopsAndWritesNothingAfterTheTakeover) {
  std::vector<Ballot> burst;
  ASSERT_NO_FATAL_FAILURE(MeetingWithAStandby(burst, kBallots));
  TestClient& late = Client("bob");
  late.Join(RoomAddress(0), "bob");
  const std::string late_voter = late.jid().substr(0, late.jid().find('/'));
  const auto late_ballot = [&](const std::string& id) {
    return Voting(id, RoomAddress(0), "voting",
                  Qid(1) + "<subjects><subject>1</subject></subjects>");
  };

  kill(services_[0]->pid(), SIGSTOP);
  PostgresServer::Query(store_,
                        "SELECT count(pg_terminate_backend(pid)) FROM pg_locks WHERE locktype = "
                        "'advisory' AND granted AND pid <> pg_backend_pid()");
  const bool taken_over = WaitForLog(1, "taking over", 10s);
  if (taken_over) {
    // Prosody hands it to the frozen service, which is still connected as the component.
    late.Send(late_ballot("late"));
    RunUntil(
        context_, [] { return false; }, 500ms);
  }
  kill(services_[0]->pid(), SIGCONT);
  ASSERT_TRUE(taken_over) << ReadFile(LogOf(1));
  const auto status = services_[0]->WaitForExit(5s);
  ASSERT_TRUE(status && WIFEXITED(*status)) << ReadFile(LogOf(0));
  EXPECT_EQ(WEXITSTATUS(*status), 1);
  EXPECT_TRUE(Logged(0, "lost the lease")) << ReadFile(LogOf(0));
  ASSERT_TRUE(WaitForLog(1, "connected to", 15s)) << ReadFile(LogOf(1));

  const std::vector<std::string> refused =
      postgres_test::SharedPostgresServer().StatementsFailedWith(kFencedOff);
  EXPECT_TRUE(std::any_of(refused.begin(), refused.end(), [&](const std::string& statement) {
    return statement.find("quenlo_add_ballot") != std::string::npos &&
           statement.find(late_voter) != std::string::npos;
  })) << "the late ballot's write was not refused by the fencing number";
  const ReceivedStanza* answer = late.AnswerTo("late");
  EXPECT_TRUE(answer == nullptr || answer->type == "error") << answer->text;
  ExpectEveryAnsweredBallotCountedOnce(burst);
  // Nothing of it was kept: cast again, the service now serving counts it.
  late.Join(RoomAddress(0), "bob");
  late.Send(late_ballot("late-again"));
  ASSERT_TRUE(RunUntil(context_, [&] { return late.AnswerTo("late-again") != nullptr; }));
  EXPECT_EQ(late.AnswerTo("late-again")->type, "result") << late.AnswerTo("late-again")->text;
}

}  // namespace
}  // namespace quenlo::xmpp_test
