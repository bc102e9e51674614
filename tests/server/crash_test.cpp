#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service_process.h"
#include "temp_folder.h"

namespace quenlo::server::testing {
namespace {

using namespace std::chrono_literals;

constexpr char kRoom[] = "board@conference.example";
constexpr char kOwner[] = "owner@example.org/desk";
constexpr int kVoters = 5;
constexpr int kVotes = 200;
constexpr int kKills = 20;

std::string Voter(int voter) { return "voter" + std::to_string(voter) + "@example.org/desk"; }
std::string VoterName(int voter) { return "Voter" + std::to_string(voter); }

// How the service answered one request of `address`.
struct Outcome {
  std::string type;  // "result" or "error"
  int code = 0;      // the error code
  pugi::xml_document reply;
};

// The service killed at random moments while requests come in, restarted on the same file each
// time, everybody joining again as clients do when the room comes back.
class CrashTest : public ::testing::Test {
 protected:
  CrashTest() : service_(folder_.File("conference.db")) {
    const unsigned seed = std::random_device{}();
    random_.seed(seed);
    RecordProperty("seed", std::to_string(seed));
    std::printf("random seed %u\n", seed);
  }

  // Starts the service; the owner joins first, then the voters. Gives what each one got.
  std::map<std::string, std::vector<std::string>> StartAndJoin() {
    service_.Start();
    std::map<std::string, std::vector<std::string>> got;
    got[kOwner] = service_.Call(std::string("join ") + kRoom + " " + kOwner + " Owner");
    for (int voter = 0; voter < kVoters; ++voter) {
      got[Voter(voter)] =
          service_.Call(std::string("join ") + kRoom + " " + Voter(voter) + " " + VoterName(voter));
    }
    return got;
  }

  static std::string Send(const std::string& from, const std::string& xml_namespace,
                          const std::string& type, const std::string& body) {
    return "send " + from + " <iq type='set' to='" + kRoom + "' id='c'><query type='" + type +
           "' xmlns='" + xml_namespace + "'>" + body + "</query></iq>";
  }
  static std::string Voting(const std::string& from, const std::string& type,
                            const std::string& body) {
    return Send(from, "quenlo:conf:voting", type, body);
  }

  // The answer to `from` among `lines`.
  static Outcome Read(const std::vector<std::string>& lines, const std::string& from) {
    Outcome outcome;
    for (const std::string& line : lines) {
      if (line.rfind(from + " ", 0) != 0) continue;
      const std::string xml = line.substr(from.size() + 1);
      EXPECT_TRUE(outcome.reply.load_string(xml.c_str())) << xml;
      const pugi::xml_node iq = outcome.reply.child("iq");
      if (std::string(iq.attribute("type").value()) == "set") continue;  // a push
      outcome.type = iq.attribute("type").value();
      outcome.code = iq.child("error").attribute("code").as_int();
      return outcome;
    }
    ADD_FAILURE() << "no answer to " << from;
    return outcome;
  }

  Outcome Call(const std::string& from, const std::string& line) {
    return Read(service_.Call(line), from);
  }

  // Sends `line` of `from` and, when `kill` says so, kills the service a random few moments
  // later and starts it again. Gives the answer, or nothing when the kill came first.
  std::optional<Outcome> SendPerhapsKilling(const std::string& from, const std::string& line,
                                            bool kill) {
    if (!kill) return Call(from, line);
    service_.Write(line);
    // Half the kills come at once, most often before the answer; the others a little later,
    // most often after it.
    if (random_() % 2 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random_() % 120));
    service_.Kill();
    const auto answer = service_.ReadAnswer();
    StartAndJoin();
    if (!answer) {
      ++unanswered_;
      return std::nullopt;
    }
    return Read(*answer, from);
  }

  std::set<int> KillMoments(int requests) {
    std::set<int> moments;
    while (static_cast<int>(moments.size()) < kKills) {
      moments.insert(static_cast<int>(random_() % static_cast<unsigned>(requests)));
    }
    return moments;
  }

  TempFolder folder_;
  ServiceProcess service_;
  std::mt19937 random_;
  int unanswered_ = 0;
};

TEST_F(CrashTest, EveryAcknowledgedBallotIsCountedOnceThroughKills) {
  StartAndJoin();
  for (int vote = 1; vote <= kVotes; ++vote) {
    const std::string qid = "<qid>" + std::to_string(vote) + "</qid>";
    ASSERT_EQ(Call(kOwner, Voting(kOwner, "apply", "")).type, "result");
    ASSERT_EQ(Call(kOwner, Voting(kOwner, "refer",
                                  qid + "<caption>Motion</caption><reg>true</reg><subjects>"
                                        "<subject index='1'>Yes</subject>"
                                        "<subject index='2'>No</subject></subjects>"))
                  .type,
              "result");
    ASSERT_EQ(Call(kOwner, Voting(kOwner, "start", qid)).type, "result");
  }

  // expected[vote][subject]: the voters' names, in the order their ballots were counted.
  std::map<int, std::map<std::string, std::vector<std::string>>> expected;
  const std::set<int> kills = KillMoments(kVoters * kVotes);
  int acknowledged_then_killed = 0;
  for (int ballot = 0; ballot < kVoters * kVotes; ++ballot) {
    const int vote = ballot % kVotes + 1;
    const int voter = ballot / kVotes;
    const std::string subject = std::to_string((vote + voter) % 2 + 1);
    const std::string line = Voting(Voter(voter), "voting",
                                    "<qid>" + std::to_string(vote) + "</qid><subjects><subject>" +
                                        subject + "</subject></subjects>");
    const auto answer = SendPerhapsKilling(Voter(voter), line, kills.contains(ballot));
    if (answer) {
      ASSERT_EQ(answer->type, "result") << "ballot " << ballot;
      if (kills.contains(ballot)) {
        ++acknowledged_then_killed;
        // Acknowledged before the kill, so it must have been kept.
        EXPECT_EQ(Call(Voter(voter), line).code, 12) << "ballot " << ballot;
      }
    } else {
      // Unanswered: counted or not, but a retry must not count it twice.
      const Outcome retry = Call(Voter(voter), line);
      EXPECT_TRUE(retry.type == "result" || retry.code == 12)
          << "ballot " << ballot << ": " << retry.type << " " << retry.code;
    }
    expected[vote][subject].push_back(VoterName(voter));
  }
  std::printf("%d kills: %d before the answer, %d after it\n", kKills, unanswered_,
              acknowledged_then_killed);

  service_.Kill();
  StartAndJoin();
  for (int vote = 1; vote <= kVotes; ++vote) {
    const Outcome tally =
        Call(kOwner, Voting(kOwner, "kithe", "<qid>" + std::to_string(vote) + "</qid>"));
    const pugi::xml_node query = tally.reply.child("iq").child("query");
    EXPECT_EQ(query.child("count").text().as_int(), kVoters) << "vote " << vote;
    for (const pugi::xml_node subject : query.child("subjects").children("subject")) {
      std::vector<std::string> names;
      for (const pugi::xml_node user : subject.children("user")) names.push_back(user.text().get());
      EXPECT_EQ(names, expected[vote][subject.attribute("index").value()]) << "vote " << vote;
      EXPECT_EQ(subject.attribute("count").as_int(), static_cast<int>(names.size()));
    }
  }
}

TEST_F(CrashTest, EveryAcknowledgedAgendaItemIsKeptOnceThroughKills) {
  constexpr int kItems = 200;
  StartAndJoin();
  const std::set<int> kills = KillMoments(kItems);
  for (int item = 0; item < kItems; ++item) {
    const std::string line =
        Send(kOwner, "quenlo:conf:agenda", "create",
             "<subject><qid>item" + std::to_string(item) + "</qid><text>Item</text></subject>");
    const auto answer = SendPerhapsKilling(kOwner, line, kills.contains(item));
    if (answer) {
      ASSERT_EQ(answer->type, "result") << "item " << item;
      if (kills.contains(item)) {
        EXPECT_EQ(Call(kOwner, line).code, 21) << "item " << item;
      }
    } else {
      const Outcome retry = Call(kOwner, line);
      EXPECT_TRUE(retry.type == "result" || retry.code == 21) << "item " << item;
    }
  }

  service_.Kill();
  StartAndJoin();
  const Outcome browsed = Call(Voter(0), Send(Voter(0), "quenlo:conf:agenda", "browse", ""));
  std::vector<std::string> qids;
  for (const pugi::xml_node subject :
       browsed.reply.child("iq").child("query").children("subject")) {
    qids.push_back(subject.child("qid").text().get());
  }
  ASSERT_EQ(qids.size(), static_cast<std::size_t>(kItems));
  for (int item = 0; item < kItems; ++item) EXPECT_EQ(qids[item], "item" + std::to_string(item));
}

TEST_F(CrashTest, AVoteThatRanOutWhileTheServiceWasDownEndsAtRestartAndEverybodyLearnsIt) {
  StartAndJoin();
  Call(kOwner, Voting(kOwner, "apply", ""));
  Call(kOwner, Voting(kOwner, "refer",
                      "<qid>1</qid><caption>Quick</caption><timeout>2</timeout><subjects>"
                      "<subject index='1'>Yes</subject></subjects>"));
  ASSERT_EQ(Call(kOwner, Voting(kOwner, "start", "<qid>1</qid>")).type, "result");
  ASSERT_EQ(Call(Voter(0), Voting(Voter(0), "voting",
                                  "<qid>1</qid><subjects><subject>1</subject></subjects>"))
                .type,
            "result");
  service_.Kill();
  std::this_thread::sleep_for(5s);

  for (const auto& [address, lines] : StartAndJoin()) {
    ASSERT_EQ(lines.size(), 1u) << address;
    pugi::xml_document push;
    ASSERT_TRUE(push.load_string(lines[0].substr(address.size() + 1).c_str()));
    const pugi::xml_node query = push.child("iq").child("query");
    EXPECT_STREQ(query.attribute("type").value(), "end") << address;
    EXPECT_STREQ(query.child("qid").text().get(), "1");
  }
  const Outcome result = Call(kOwner, Voting(kOwner, "result", "<qid>1</qid>"));
  EXPECT_EQ(result.type, "result");
  EXPECT_EQ(result.reply.child("iq").child("query").child("count").text().as_int(), 1);
}

}  // namespace
}  // namespace quenlo::server::testing
