// Ballots per second through the conference service with its rooms kept in a file (in a
// temporary folder), against the same service keeping them in memory, in one run. Each ballot
// is one request, answered only once its transaction is committed. Goal: the file store at least
// 0.5x the memory store at the durability the service runs with by default (normal: kept across
// a crash of the process). The full level, which syncs every commit to disk so that it is also
// kept across a power cut, is shown beside it on fewer ballots, as each waits for the disk.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "server/conference_server.h"
#include "server/sqlite_store.h"

namespace {

using quenlo::server::ConferenceServer;
using quenlo::server::SqliteStore;
using quenlo::server::StoreDurability;

constexpr char kRoom[] = "board@conference.example";
constexpr int kVoters = 100;
// Enough ballots that the log is copied into the file (checkpointed) several times.
constexpr int kVotes = 200;
constexpr int kVotesSyncedEach = 10;

std::string Voter(int index) { return "voter" + std::to_string(index) + "@example.org/desk"; }

std::string Request(const std::string& type, const std::string& body) {
  return std::string("<iq type='set' to='") + kRoom + "' id='b'><query type='" + type +
         "' xmlns='quenlo:conf:voting'>" + body + "</query></iq>";
}

// Casts kVoters x `votes` ballots and gives how many went through per second.
double BallotsPerSecond(const std::string& path, StoreDurability durability, int votes) {
  ConferenceServer server(std::make_unique<SqliteStore>(path, durability));
  server.OpenRoom(kRoom);
  for (int voter = 0; voter < kVoters; ++voter) server.Join(kRoom, Voter(voter), "Voter");
  std::vector<std::string> ballots;
  for (int vote = 1; vote <= votes; ++vote) {
    const std::string qid = "<qid>" + std::to_string(vote) + "</qid>";
    server.Receive(Voter(0), Request("apply", ""));
    server.Receive(Voter(0), Request("refer", qid + "<caption>Budget?</caption><subjects>"
                                                    "<subject index='1'>Yes</subject>"
                                                    "<subject index='2'>No</subject></subjects>"));
    server.Receive(Voter(0), Request("start", qid));
    ballots.push_back(Request("voting", qid + "<subjects><subject>1</subject></subjects>"));
  }

  const auto started = std::chrono::steady_clock::now();
  std::size_t answered = 0;
  for (const std::string& ballot : ballots) {
    for (int voter = 0; voter < kVoters; ++voter) {
      answered += server.Receive(Voter(voter), ballot).size();
    }
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  if (answered != ballots.size() * kVoters) {
    std::fprintf(stderr, "store_bench: %zu answers for %zu ballots\n", answered,
                 ballots.size() * kVoters);
    std::exit(1);
  }
  return static_cast<double>(answered) / elapsed.count();
}

}  // namespace

int main() {
  char pattern[] = "/tmp/quenlo-bench-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (folder == nullptr) {
    std::perror("store_bench: mkdtemp");
    return 1;
  }
  const std::string file = std::string(folder) + "/conference.db";

  const double memory = BallotsPerSecond(":memory:", StoreDurability::kNormal, kVotes);
  const double normal = BallotsPerSecond(file, StoreDurability::kNormal, kVotes);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  const double full = BallotsPerSecond(file, StoreDurability::kFull, kVotesSyncedEach);
  std::filesystem::remove_all(folder);

  std::printf("%d voters, one transaction per ballot\n", kVoters);
  std::printf("memory store            %10.0f ballots/s  (%d ballots)\n", memory, kVoters * kVotes);
  std::printf("file store, normal sync %10.0f ballots/s  %.2fx memory (goal >= 0.5x): %s\n", normal,
              normal / memory, normal / memory >= 0.5 ? "met" : "NOT met");
  std::printf("file store, full sync   %10.0f ballots/s  %.3fx memory  (%d ballots)\n", full,
              full / memory, kVoters * kVotesSyncedEach);
  return 0;
}
