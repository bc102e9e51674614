// A backup asked of a running confserver (SIGUSR1) in the middle of a burst of ballots: the copy
// is a sound store holding, for every voter, a prefix of the ballots in the order they were
// sent, among them every ballot answered before the request; a confserver started on the copy
// serves exactly what it holds.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "server/sqlite_store.h"
#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

using namespace std::chrono_literals;

constexpr int kVotes = 125;
constexpr char kVoting[] = "quenlo:conf:voting";

std::string IntegrityOf(const std::string& path) {
  sqlite3* database = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        database, "PRAGMA integrity_check",
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) = values[0];
          return 0;
        },
        &result, nullptr);
  }
  sqlite3_close(database);
  return result;
}

class ConfserverBackupTest : public ComponentFixture {
 protected:
  ReceivedStanza Call(TestClient& client, const std::string& type, const std::string& body) {
    const std::string id = "c" + std::to_string(++calls_);
    client.Send("<iq type='set' id='" + id + "' to='" + kRoom + "'><query type='" + type +
                "' xmlns='" + kVoting + "'>" + body + "</query></iq>");
    if (!RunUntil(context_, [&] { return client.AnswerTo(id) != nullptr; })) {
      throw std::runtime_error("no answer to " + type);
    }
    return *client.AnswerTo(id);
  }
  static std::string Qid(int vote) { return "<qid>" + std::to_string(vote) + "</qid>"; }
  static std::string BallotId(int voter, int vote) {
    return "b" + std::to_string(voter) + "-" + std::to_string(vote);
  }

  int calls_ = 0;
};

TEST_F(ConfserverBackupTest, ABackupDuringABurstHoldsAPrefixOfTheBallotsAndServesWhenRestored) {
  const std::string folder = server_->PathFor("backups");
  StartComponent({"--backup-folder", folder});
  TestClient& owner = Client("alice");
  owner.Join(kRoom, "Alice");
  std::vector<TestClient*> voters;
  for (const char* user : {"bob", "carol", "dave", "load0"}) {
    voters.push_back(&Client(user));
    voters.back()->Join(kRoom, user);
  }
  for (int vote = 1; vote <= kVotes; ++vote) {
    ASSERT_EQ(Call(owner, "apply", "").type, "result");
    ASSERT_EQ(Call(owner, "refer",
                   Qid(vote) + "<caption>Motion</caption><reg>true</reg><subjects>"
                               "<subject index='1'>Yes</subject></subjects>")
                  .type,
              "result");
    ASSERT_EQ(Call(owner, "start", Qid(vote)).type, "result");
  }

  // The burst: each voter sends its ballots, votes 1 to kVotes in order, without waiting.
  for (int vote = 1; vote <= kVotes; ++vote) {
    for (std::size_t voter = 0; voter < voters.size(); ++voter) {
      voters[voter]->Send("<iq type='set' id='" + BallotId(static_cast<int>(voter), vote) +
                          "' to='" + kRoom + "'><query type='voting' xmlns='" + kVoting + "'>" +
                          Qid(vote) + "<subjects><subject>1</subject></subjects></query></iq>");
    }
  }
  const auto answered = [&] {
    std::set<std::pair<std::size_t, int>> ballots;
    for (std::size_t voter = 0; voter < voters.size(); ++voter) {
      for (int vote = 1; vote <= kVotes; ++vote) {
        if (voters[voter]->AnswerTo(BallotId(static_cast<int>(voter), vote))) {
          ballots.insert({voter, vote});
        }
      }
    }
    return ballots;
  };
  ASSERT_TRUE(RunUntil(context_, [&] { return answered().size() >= 100; }));
  const std::set<std::pair<std::size_t, int>> answered_before = answered();
  ASSERT_EQ(kill(component_->pid(), SIGUSR1), 0);
  const std::size_t total = voters.size() * kVotes;
  ASSERT_TRUE(RunUntil(
      context_, [&] { return answered().size() == total; }, 30s));
  for (std::size_t voter = 0; voter < voters.size(); ++voter) {
    for (int vote = 1; vote <= kVotes; ++vote) {
      ASSERT_EQ(voters[voter]->AnswerTo(BallotId(static_cast<int>(voter), vote))->type, "result");
    }
  }
  ASSERT_TRUE(
      WaitForOutput(*component_, server_->PathFor("confserver.log"), "backup written to", 10s))
      << ComponentLog();

  std::vector<std::string> backups;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    backups.push_back(entry.path().string());
  }
  ASSERT_EQ(backups.size(), 1u) << "no partial file is left beside the backup";
  const std::string backup = backups[0];
  EXPECT_NE(backup.find(std::string(XmppServer::kComponentDomain) + "-"), std::string::npos);
  EXPECT_EQ(IntegrityOf(backup), "ok");
  const std::string restored = server_->PathFor("restored.db");
  std::filesystem::copy_file(backup, restored);

  std::map<int, std::size_t> kept_per_vote;
  std::set<std::pair<std::size_t, int>> kept;
  {
    server::SqliteStore store(backup);
    const std::vector<server::RoomRecord> rooms = store.LoadRooms();
    ASSERT_EQ(rooms.size(), 1u);
    ASSERT_EQ(rooms[0].votes.size(), static_cast<std::size_t>(kVotes));
    for (const server::Vote& vote : rooms[0].votes) {
      kept_per_vote[std::stoi(vote.id())] = vote.BallotCount();
      for (const server::Ballot& ballot : vote.ballots()) {
        for (std::size_t voter = 0; voter < voters.size(); ++voter) {
          if (ballot.voter.rfind(voters[voter]->jid().substr(0, voters[voter]->jid().find('/')),
                                 0) == 0) {
            kept.insert({voter, std::stoi(vote.id())});
          }
        }
      }
    }
  }
  std::printf("the backup holds %zu of %zu ballots; %zu were answered before it was asked\n",
              kept.size(), total, answered_before.size());
  for (const auto& ballot : answered_before) {
    EXPECT_TRUE(kept.contains(ballot)) << "voter " << ballot.first << " vote " << ballot.second;
  }
  for (std::size_t voter = 0; voter < voters.size(); ++voter) {
    int prefix = 0;
    while (kept.contains({voter, prefix + 1})) ++prefix;
    for (int vote = prefix + 1; vote <= kVotes; ++vote) {
      EXPECT_FALSE(kept.contains({voter, vote}))
          << "voter " << voter << " has vote " << vote << " but not " << prefix + 1;
    }
  }

  // The restore: the copy in the store's place, and a service started on it.
  component_->Stop(SIGTERM, 10s);
  store_ = restored;
  StartComponent();
  owner.Join(kRoom, "Alice");
  for (int vote = 1; vote <= kVotes; ++vote) {
    pugi::xml_document tally;
    tally.load_string(Call(owner, "kithe", Qid(vote)).text.c_str());
    EXPECT_EQ(tally.child("iq").child("query").child("count").text().as_ullong(),
              kept_per_vote[vote])
        << "vote " << vote;
  }
}

}  // namespace
}  // namespace quenlo::xmpp_test
