// Ballots per second through confserver and a real Prosody with the rooms kept in PostgreSQL,
// against the same with the rooms in an SQLite file, in one run: one client casting its ballots
// one after another, and ten clients each with a ballot in flight. Every ballot is one request,
// answered only once its transaction is committed; both stores run at the default --sync normal
// on a PostgreSQL server that flushes to disk as a real one does. The PostgreSQL server is on
// loopback, so each commit costs a round trip of microseconds where a network adds some 0.1-0.5
// ms. Goal: PostgreSQL at least 0.5x SQLite with ten clients.
//
// Each store is measured three times, in turns, and the median taken, as other work on the
// machine moves single runs. Beside the rates stand the CPU milliseconds per ballot (ten
// clients) of confserver, of the database server (all its processes) and of Prosody, which do
// not depend on what else the machine runs: they show where a ballot's time goes.
#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/process_cpu.h"
#include "tests/postgres/postgres_server.h"
#include "tests/xmpp/confserver_process.h"
#include "tests/xmpp/prosody_server.h"
#include "tests/xmpp/test_client.h"

namespace {

using quenlo::bench::CpuSeconds;
using quenlo::xmpp_test::ChildProcess;
using quenlo::xmpp_test::ProsodyServer;
using quenlo::xmpp_test::RunUntil;
using quenlo::xmpp_test::TestClient;
using namespace std::chrono_literals;

constexpr char kRoom[] = "board@conference.example.net";
constexpr int kVotes = 400;
constexpr int kClients = 10;
constexpr int kRounds = 3;

std::string Voting(const std::string& id, const std::string& type, const std::string& body) {
  return "<iq type='set' id='" + id + "' to='" + kRoom + "'><query type='" + type +
         "' xmlns='quenlo:conf:voting'>" + body + "</query></iq>";
}

std::string Qid(int vote) { return "<qid>" + std::to_string(vote) + "</qid>"; }

// Sends `requests` from `client` in order, at most 100 unanswered, and waits for every answer.
void SendAll(TestClient& client, const std::vector<std::string>& requests) {
  std::size_t sent = 0;
  const std::size_t first = client.AnswerCount();
  const bool done = RunUntil(
      client.context(),
      [&] {
        while (sent < requests.size() && sent - (client.AnswerCount() - first) < 100) {
          client.Send(requests[sent++]);
        }
        return client.AnswerCount() - first == requests.size();
      },
      120s);
  if (!done) throw std::runtime_error("the votes were not all set up");
}

// Each client casts a ballot in every vote, one ballot in flight per client; gives ballots per
// second.
double CastBallots(const std::vector<TestClient*>& clients, const std::string& tag) {
  std::vector<int> cast(clients.size(), 0);
  std::vector<std::size_t> answered(clients.size());
  for (std::size_t i = 0; i < clients.size(); ++i) answered[i] = clients[i]->AnswerCount();
  const auto send = [&](std::size_t i) {
    ++cast[i];
    clients[i]->Send(Voting(tag + std::to_string(cast[i]), "voting",
                            Qid(cast[i]) + "<subjects><subject>1</subject></subjects>"));
  };
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < clients.size(); ++i) send(i);
  int remaining = static_cast<int>(clients.size()) * kVotes;
  const bool done = RunUntil(
      clients.front()->context(),
      [&] {
        for (std::size_t i = 0; i < clients.size(); ++i) {
          if (clients[i]->AnswerCount() == answered[i]) continue;
          answered[i] = clients[i]->AnswerCount();
          --remaining;
          if (cast[i] < kVotes) send(i);
        }
        return remaining == 0;
      },
      300s);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!done) throw std::runtime_error("ballots went unanswered");
  for (std::size_t i = 0; i < clients.size(); ++i) {
    for (int vote = 1; vote <= kVotes; ++vote) {
      const auto* answer = clients[i]->AnswerTo(tag + std::to_string(vote));
      if (answer == nullptr || answer->type != "result") {
        throw std::runtime_error("a ballot was refused: " + (answer ? answer->text : "none"));
      }
    }
  }
  return static_cast<double>(clients.size() * kVotes) / elapsed.count();
}

struct Figures {
  double one_client = 0;
  double ten_clients = 0;
  // CPU milliseconds per ballot with ten clients.
  double confserver_cpu = 0;
  double database_cpu = 0;
  double prosody_cpu = 0;
};

// confserver on `store`: the owner sets up the votes, then one client and ten clients vote.
// `database` is the database server's process, 0 for a store inside confserver.
Figures Measure(const ProsodyServer& server, const std::string& store, pid_t database) {
  const std::unique_ptr<ChildProcess> confserver =
      quenlo::xmpp_test::StartConfserver(server, store, server.PathFor("confserver.log"));
  quenlo::xmpp::Context context;
  std::vector<std::unique_ptr<TestClient>> clients;
  std::vector<TestClient*> voters;
  for (int i = 0; i <= kClients + 1; ++i) {
    const std::string user = i == 0 ? "alice" : "load" + std::to_string(i - 1);
    auto& client = clients.emplace_back(std::make_unique<TestClient>(context, server, user));
    client->Connect();
    client->Join(kRoom, user);  // the first to join, alice, owns the room
    if (i > 0) voters.push_back(client.get());
  }
  std::vector<std::string> setup;
  for (int vote = 1; vote <= kVotes; ++vote) {
    const std::string n = std::to_string(vote);
    setup.push_back(Voting("a" + n, "apply", ""));
    setup.push_back(Voting("r" + n, "refer",
                           Qid(vote) + "<caption>Budget?</caption><subjects><subject index='1'>"
                                       "Yes</subject><subject index='2'>No</subject></subjects>"));
    setup.push_back(Voting("s" + n, "start", Qid(vote)));
  }
  SendAll(*clients.front(), setup);

  Figures figures{};
  figures.one_client = CastBallots({voters.front()}, "one-");
  const auto cpu = [&] {
    return std::array<double, 3>{CpuSeconds(confserver->pid()),
                                 database != 0 ? CpuSeconds(database, /*children=*/true) : 0,
                                 CpuSeconds(server.pid())};
  };
  const auto before = cpu();
  figures.ten_clients = CastBallots({voters.begin() + 1, voters.end()}, "ten-");
  const auto after = cpu();
  const double per_ballot = 1000.0 / (kClients * kVotes);
  figures.confserver_cpu = (after[0] - before[0]) * per_ballot;
  figures.database_cpu = (after[1] - before[1]) * per_ballot;
  figures.prosody_cpu = (after[2] - before[2]) * per_ballot;
  clients.clear();
  confserver->Stop(SIGTERM, 10s);
  return figures;
}

}  // namespace

// Each figure's median over the rounds.
Figures Median(std::vector<Figures> rounds) {
  Figures median;
  for (double Figures::*figure :
       {&Figures::one_client, &Figures::ten_clients, &Figures::confserver_cpu,
        &Figures::database_cpu, &Figures::prosody_cpu}) {
    std::sort(rounds.begin(), rounds.end(),
              [&](const Figures& a, const Figures& b) { return a.*figure < b.*figure; });
    median.*figure = rounds[rounds.size() / 2].*figure;
  }
  return median;
}

int main() {
  try {
    std::vector<std::string> users = {"alice"};
    for (int i = 0; i <= kClients; ++i) users.push_back("load" + std::to_string(i));
    ProsodyServer server(users);
    quenlo::postgres_test::PostgresServer postgres(/*flushes=*/true);

    std::vector<Figures> sqlite_rounds, postgres_rounds;
    for (int round = 0; round < kRounds; ++round) {
      sqlite_rounds.push_back(
          Measure(server, server.PathFor("rooms" + std::to_string(round) + ".db"), 0));
      postgres_rounds.push_back(Measure(server, postgres.NewDatabase(), postgres.pid()));
    }
    const Figures sqlite = Median(sqlite_rounds);
    const Figures postgresql = Median(postgres_rounds);

    std::printf("ballots through confserver and Prosody, %d votes, --sync normal, median of %d\n",
                kVotes, kRounds);
    std::printf("%-24s %12s %12s   %s\n", "rooms kept in", "1 client", "10 clients",
                "CPU ms per ballot: confserver, database, Prosody");
    for (const auto& [name, figures] :
         {std::pair{"SQLite file", sqlite}, std::pair{"PostgreSQL (loopback)", postgresql}}) {
      std::printf("%-24s %10.0f/s %10.0f/s   %.3f, %.3f, %.3f\n", name, figures.one_client,
                  figures.ten_clients, figures.confserver_cpu, figures.database_cpu,
                  figures.prosody_cpu);
    }
    const double ratio = postgresql.ten_clients / sqlite.ten_clients;
    std::printf("%-24s %11.2fx %11.2fx  (goal >= 0.5x with ten clients): %s\n",
                "PostgreSQL / SQLite", postgresql.one_client / sqlite.one_client, ratio,
                ratio >= 0.5 ? "met" : "NOT met");
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "store_backends_bench: %s\n", error.what());
    return 1;
  }
}
