// confserver on its store: stores it cannot use stop it before it connects; killed at random
// moments while ballots come in, it keeps every ballot it acknowledged, once; a vote that runs
// out while it is down ends when it comes back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "server/postgres_store.h"
#include "server/sqlite_store.h"
#include "tests/postgres/postgres_server.h"
#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

using namespace std::chrono_literals;

void ExecuteOn(const std::string& path, const std::string& sql) {
  sqlite3* database = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &database), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(database, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(database);
}

// A loopback port that listens but is never served: whether confserver tried to connect shows
// in whether a connection waits there.
class WatchedPort {
 public:
  WatchedPort() {
    socket_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(socket_, 4) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on loopback");
    }
    port_ = ntohs(address.sin_port);
  }
  WatchedPort(const WatchedPort&) = delete;
  WatchedPort& operator=(const WatchedPort&) = delete;
  ~WatchedPort() { close(socket_); }

  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  bool Connected() const {
    const int connection = accept(socket_, nullptr, nullptr);
    if (connection < 0) return false;
    close(connection);
    return true;
  }

 private:
  int socket_ = -1;
  unsigned short port_ = 0;
};

using ConfserverStoreTest = ComponentFixture;

TEST_F(ConfserverStoreTest, UnusableStoresStopItInOneLineBeforeItConnectsAndStayUnchanged) {
  const std::string garbage = server_->PathFor("garbage.db");
  std::ofstream(garbage) << std::string(4096, 'x');
  const std::string newer = server_->PathFor("newer.db");
  { server::SqliteStore{newer}; }
  ExecuteOn(newer, "PRAGMA user_version = 99");
  // The store of a confserver already serving.
  StartComponent();
  const std::string locked = server_->PathFor("rooms.db");

  for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
           {garbage, "it is not an SQLite database"},
           {newer, "it was written by a newer version (schema 99, this program knows up to " +
                       std::to_string(server::SqliteStore::SchemaVersion()) + ")"},
           {locked, "it is in use by another process"}}) {
    const std::string before = ReadFile(path);
    WatchedPort port;
    std::unique_ptr<ChildProcess> confserver =
        LaunchConfserver({"--xmpp", port.address(), "--domain", XmppServer::kComponentDomain,
                          "--store", path, "--secret-file", server_->SecretFile()});
    const std::optional<int> status = confserver->WaitForExit(10s);
    ASSERT_TRUE(status && WIFEXITED(*status)) << path;
    EXPECT_EQ(WEXITSTATUS(*status), 1) << path;
    EXPECT_EQ(ComponentLog(), "confserver: cannot use store " + path + ": " + reason + "\n");
    EXPECT_FALSE(port.Connected()) << path;
    EXPECT_EQ(ReadFile(path), before) << path;
  }
}

TEST_F(ConfserverStoreTest, UnusablePostgresDatabasesStopItInOneLineBeforeItConnects) {
  using postgres_test::PostgresServer;
  PostgresServer& postgres = postgres_test::SharedPostgresServer();
  const std::string newer = postgres.NewDatabase();
  { server::PostgresStore{newer}; }
  PostgresServer::Query(newer, "UPDATE quenlo_schema SET version = 99");
  const std::string foreign = postgres.NewDatabase();
  PostgresServer::Query(foreign, "CREATE TABLE notes (text text)");
  const std::string in_use = postgres.NewDatabase();
  server::PostgresStore serving(in_use);

  for (const auto& [uri, reason] : std::vector<std::pair<std::string, std::string>>{
           {postgres.Uri("missing"), "database \"missing\" does not exist"},
           {newer, "it was written by a newer version (schema 99, this program knows up to " +
                       std::to_string(server::PostgresStore::SchemaVersion()) + ")"},
           {foreign, "it holds another program's data"},
           {in_use, "it is in use by another service"}}) {
    WatchedPort port;
    std::unique_ptr<ChildProcess> confserver =
        LaunchConfserver({"--xmpp", port.address(), "--domain", XmppServer::kComponentDomain,
                          "--store", uri, "--secret-file", server_->SecretFile()});
    const std::optional<int> status = confserver->WaitForExit(10s);
    ASSERT_TRUE(status && WIFEXITED(*status)) << uri;
    EXPECT_EQ(WEXITSTATUS(*status), 1) << uri;
    const std::string log = ComponentLog();
    EXPECT_EQ(log.rfind("confserver: cannot use store " + uri + ": ", 0), 0u) << log;
    EXPECT_NE(log.find(reason), std::string::npos) << log;
    EXPECT_EQ(log.find('\n'), log.size() - 1) << log;
    EXPECT_FALSE(port.Connected()) << uri;
  }
  EXPECT_EQ(PostgresServer::Query(newer, "SELECT version FROM quenlo_schema"), "99");
  EXPECT_EQ(PostgresServer::Query(foreign,
                                  "SELECT count(*) FROM pg_tables WHERE schemaname = "
                                  "current_schema()"),
            "1");
}

class ConfserverOwnerTest : public ComponentFixture {
 protected:
  // Sends a request of `client` and waits for its answer.
  ReceivedStanza Ask(TestClient& client, const std::string& xml_namespace, const std::string& type,
                     const std::string& body = "") {
    const std::string id = "o" + std::to_string(++requests_);
    client.Send("<iq type='set' id='" + id + "' to='" + kRoom + "'><query type='" + type +
                "' xmlns='" + xml_namespace + "'>" + body + "</query></iq>");
    EXPECT_TRUE(RunUntil(context_, [&] { return client.AnswerTo(id) != nullptr; }));
    return client.AnswerTo(id) ? *client.AnswerTo(id) : ReceivedStanza{};
  }

  int requests_ = 0;
};

TEST_F(ConfserverOwnerTest, TheOwnerNamedAtStartRunsTheRoomAndMayHandItOver) {
  StartComponent({"--owner", "board=carol@" + std::string(XmppServer::kDomain)});
  TestClient& alice = Client("alice");
  TestClient& carol = Client("carol");
  alice.Join(kRoom, "Alice");
  carol.Join(kRoom, "Carol");

  const ReceivedStanza refused = Ask(alice, "quenlo:conf:voting", "apply");
  EXPECT_EQ(refused.type, "error");
  EXPECT_NE(refused.text.find("code=\"5\""), std::string::npos) << refused.text;
  EXPECT_NE(refused.text.find("<forbidden"), std::string::npos) << refused.text;
  // A "from" written by the client is replaced by the XMPP server's stamping.
  alice.Send("<iq type='set' id='forged' from='" + carol.jid() + "' to='" + kRoom +
             "'><query type='apply' xmlns='quenlo:conf:voting'/></iq>");
  ASSERT_TRUE(RunUntil(context_, [&] { return alice.AnswerTo("forged") != nullptr; }));
  EXPECT_EQ(alice.AnswerTo("forged")->type, "error");
  EXPECT_EQ(carol.AnswerTo("forged"), nullptr);

  // Neither request made a vote: the owner's first one gets the first identifier.
  const ReceivedStanza first = Ask(carol, "quenlo:conf:voting", "apply");
  EXPECT_EQ(first.type, "result");
  EXPECT_NE(first.text.find("<qid>1</qid>"), std::string::npos) << first.text;
  const ReceivedStanza handed =
      Ask(carol, "quenlo:conf:admin", "owner", "<owner>" + alice.jid() + "</owner>");
  EXPECT_EQ(handed.type, "result") << handed.text;
  EXPECT_EQ(Ask(alice, "quenlo:conf:voting", "apply").type, "result");
  EXPECT_EQ(Ask(carol, "quenlo:conf:voting", "apply").type, "error");
}

// People write addresses as they like; the XMPP server stamps them normalised. The owner named
// with capitals, and handed the room in capitals, is still the person whose requests arrive.
TEST_F(ConfserverOwnerTest, AnOwnerWrittenInCapitalsIsThePersonTheServerStampsFault) {
  StartComponent({"--owner", "Board=Carol@EXAMPLE.net"});
  TestClient& alice = Client("alice");
  TestClient& carol = Client("carol");
  alice.Join(kRoom, "Alice");
  carol.Join(kRoom, "Carol");
  EXPECT_EQ(Ask(carol, "quenlo:conf:voting", "apply").type, "result");
  const ReceivedStanza handed =
      Ask(carol, "quenlo:conf:admin", "owner", "<owner>ALICE@Example.Net/Desk</owner>");
  EXPECT_EQ(handed.type, "result") << handed.text;
  EXPECT_NE(handed.text.find("<owner>alice@example.net</owner>"), std::string::npos) << handed.text;
  EXPECT_EQ(Ask(alice, "quenlo:conf:voting", "apply").type, "result");
  EXPECT_EQ(Ask(carol, "quenlo:conf:voting", "apply").type, "error");
}

TEST_F(ConfserverOwnerTest, AnOwnerOptionThatDoesNotReadEndsTheRunInOneLine) {
  for (const std::string owner :
       {"board", "board=", "=bob@example.net", "board=bob", "board=bob smith@example.net"}) {
    std::vector<std::string> arguments = ServerArguments();
    arguments.insert(arguments.end(), {"--owner", owner});
    std::unique_ptr<ChildProcess> confserver = LaunchConfserver(arguments);
    const std::optional<int> status = confserver->WaitForExit(10s);
    ASSERT_TRUE(status && WIFEXITED(*status)) << owner;
    EXPECT_EQ(WEXITSTATUS(*status), 2) << owner;
    const std::string log = ComponentLog();
    EXPECT_EQ(log.rfind("confserver: --owner \"" + owner + "\"", 0), 0u) << log;
    EXPECT_EQ(log.find('\n'), log.size() - 1) << log;
  }
}

constexpr int kVotes = 200;
constexpr int kKills = 20;

// confserver on a store file in the test's folder or on a fresh PostgreSQL database, killed and
// started again; the owner (alice) and four voters, who join again each time it comes back.
class ConfserverCrashTest : public ComponentFixture,
                            public ::testing::WithParamInterface<postgres_test::Backend> {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    if (GetParam() == postgres_test::Backend::kPostgres) {
      store_ = postgres_test::SharedPostgresServer().NewDatabase();
    }
    StartComponent();
    const unsigned seed = std::random_device{}();
    random_.seed(seed);
    RecordProperty("seed", std::to_string(seed));
    owner_ = &Client("alice");
    for (const char* user : {"bob", "carol", "dave", "load0"}) voters_.push_back(&Client(user));
    JoinAll();
  }

  void JoinAll() {
    owner_->Join(kRoom, "Alice");
    for (TestClient* voter : voters_) voter->Join(kRoom, NameOf(*voter));
  }
  static std::string NameOf(const TestClient& client) {
    return client.jid().substr(0, client.jid().find('@'));
  }

  // Sends a request and waits for its answer; nothing when none came within `timeout`.
  std::optional<ReceivedStanza> Ask(TestClient& client, const std::string& type,
                                    const std::string& body, std::chrono::milliseconds timeout,
                                    const char* xml_namespace = "quenlo:conf:voting") {
    const std::string id = "r" + std::to_string(++requests_);
    client.Send("<iq type='set' id='" + id + "' to='" + kRoom + "'><query type='" + type +
                "' xmlns='" + xml_namespace + "'>" + body + "</query></iq>");
    if (!RunUntil(
            context_, [&] { return client.AnswerTo(id) != nullptr; }, timeout)) {
      return std::nullopt;
    }
    return *client.AnswerTo(id);
  }
  ReceivedStanza Call(TestClient& client, const std::string& type, const std::string& body,
                      const char* xml_namespace = "quenlo:conf:voting") {
    auto answer = Ask(client, type, body, 10s, xml_namespace);
    if (!answer) throw std::runtime_error("no answer to " + type);
    return std::move(*answer);
  }

  // Sends the request, kills confserver a random moment later, starts it again and has
  // everybody join again. Gives the answer when it came before the kill.
  std::optional<ReceivedStanza> SendAndKill(TestClient& client, const std::string& type,
                                            const std::string& body,
                                            const char* xml_namespace = "quenlo:conf:voting") {
    // Half the kills come at once, most often before the answer; the others a little later.
    const auto delay = random_() % 2 == 0 ? 0ms : std::chrono::milliseconds(random_() % 3);
    std::optional<ReceivedStanza> answer = Ask(client, type, body, delay, xml_namespace);
    component_->Stop(SIGKILL, 5s);
    // What confserver sent before it died may still be on its way through the XMPP server.
    const std::string id = "r" + std::to_string(requests_);
    RunUntil(
        context_, [&] { return client.AnswerTo(id) != nullptr; }, 300ms);
    if (client.AnswerTo(id) != nullptr) answer = *client.AnswerTo(id);
    StartComponent();
    JoinAll();
    // An error the XMPP server bounced (the component was gone) is no answer of the service.
    if (answer && answer->type != "result" && !CarriesServiceCode(*answer)) answer.reset();
    return answer;
  }

  // The service's own errors carry its code as an element too; the XMPP server's do not.
  static bool CarriesServiceCode(const ReceivedStanza& answer) {
    pugi::xml_document document;
    document.load_string(answer.text.c_str());
    return document.child("iq").child("error").child("code");
  }

  static int CodeOf(const ReceivedStanza& answer) {
    pugi::xml_document document;
    document.load_string(answer.text.c_str());
    return document.child("iq").child("error").attribute("code").as_int();
  }

  TestClient* owner_ = nullptr;
  std::vector<TestClient*> voters_;
  std::mt19937 random_;
  int requests_ = 0;
};

TEST_P(ConfserverCrashTest, EveryAcknowledgedBallotIsCountedOnceThroughKills) {
  for (int vote = 1; vote <= kVotes; ++vote) {
    const std::string qid = "<qid>" + std::to_string(vote) + "</qid>";
    ASSERT_EQ(Call(*owner_, "apply", "").type, "result");
    ASSERT_EQ(Call(*owner_, "refer",
                   qid + "<caption>Motion</caption><reg>true</reg><subjects>"
                         "<subject index='1'>Yes</subject><subject index='2'>No</subject>"
                         "</subjects>")
                  .type,
              "result");
    ASSERT_EQ(Call(*owner_, "start", qid).type, "result");
  }

  const int ballots = kVotes * static_cast<int>(voters_.size());
  std::set<int> kills;
  while (static_cast<int>(kills.size()) < kKills) {
    kills.insert(static_cast<int>(random_() % static_cast<unsigned>(ballots)));
  }
  std::map<int, std::map<std::string, std::vector<std::string>>> expected;
  int unanswered = 0;
  for (int ballot = 0; ballot < ballots; ++ballot) {
    const int vote = ballot % kVotes + 1;
    TestClient& voter = *voters_[static_cast<std::size_t>(ballot / kVotes)];
    const std::string subject = std::to_string((vote + ballot / kVotes) % 2 + 1);
    const std::string body = "<qid>" + std::to_string(vote) + "</qid><subjects><subject>" +
                             subject + "</subject></subjects>";
    if (!kills.contains(ballot)) {
      ASSERT_EQ(Call(voter, "voting", body).type, "result") << "ballot " << ballot;
    } else if (const auto answer = SendAndKill(voter, "voting", body)) {
      ASSERT_EQ(answer->type, "result") << "ballot " << ballot;
      EXPECT_EQ(CodeOf(Call(voter, "voting", body)), 12) << "acknowledged ballot " << ballot;
    } else {
      ++unanswered;
      const ReceivedStanza retry = Call(voter, "voting", body);
      EXPECT_TRUE(retry.type == "result" || CodeOf(retry) == 12) << "ballot " << ballot;
    }
    expected[vote][subject].push_back(NameOf(voter));
  }
  std::printf("%d kills, %d of them before the answer\n", kKills, unanswered);

  component_->Stop(SIGKILL, 5s);
  StartComponent();
  JoinAll();
  for (int vote = 1; vote <= kVotes; ++vote) {
    pugi::xml_document tally;
    tally.load_string(
        Call(*owner_, "kithe", "<qid>" + std::to_string(vote) + "</qid>").text.c_str());
    const pugi::xml_node query = tally.child("iq").child("query");
    EXPECT_EQ(query.child("count").text().as_int(), static_cast<int>(voters_.size()))
        << "vote " << vote;
    for (const pugi::xml_node subject : query.child("subjects").children("subject")) {
      std::vector<std::string> names;
      for (const pugi::xml_node user : subject.children("user")) names.push_back(user.text().get());
      EXPECT_EQ(names, expected[vote][subject.attribute("index").value()]) << "vote " << vote;
    }
  }
}

TEST_P(ConfserverCrashTest, EveryAcknowledgedAgendaItemIsKeptOnceThroughKills) {
  constexpr int kItems = 200;
  constexpr char kAgenda[] = "quenlo:conf:agenda";
  std::set<int> kills;
  while (static_cast<int>(kills.size()) < kKills) {
    kills.insert(static_cast<int>(random_() % static_cast<unsigned>(kItems)));
  }
  for (int item = 0; item < kItems; ++item) {
    const std::string body =
        "<subject><qid>item" + std::to_string(item) + "</qid><text>Item</text></subject>";
    if (!kills.contains(item)) {
      ASSERT_EQ(Call(*owner_, "create", body, kAgenda).type, "result") << "item " << item;
      continue;
    }
    const std::optional<ReceivedStanza> answer = SendAndKill(*owner_, "create", body, kAgenda);
    const ReceivedStanza retry = Call(*owner_, "create", body, kAgenda);
    if (answer) {
      ASSERT_EQ(answer->type, "result") << "item " << item;
      EXPECT_EQ(CodeOf(retry), 21) << "acknowledged item " << item;
    } else {
      EXPECT_TRUE(retry.type == "result" || CodeOf(retry) == 21) << "item " << item;
    }
  }

  component_->Stop(SIGKILL, 5s);
  StartComponent();
  JoinAll();
  pugi::xml_document browsed;
  browsed.load_string(Call(*voters_[0], "browse", "", kAgenda).text.c_str());
  std::vector<std::string> qids;
  for (const pugi::xml_node subject : browsed.child("iq").child("query").children("subject")) {
    qids.push_back(subject.child("qid").text().get());
  }
  ASSERT_EQ(qids.size(), static_cast<std::size_t>(kItems));
  for (int item = 0; item < kItems; ++item) {
    EXPECT_EQ(qids[static_cast<std::size_t>(item)], "item" + std::to_string(item));
  }
}

TEST_P(ConfserverCrashTest, AVoteThatRanOutWhileItWasDownEndsAtRestartAndEverybodyLearnsIt) {
  Call(*owner_, "apply", "");
  Call(*owner_, "refer",
       "<qid>1</qid><caption>Quick</caption><timeout>2</timeout><subjects>"
       "<subject index='1'>Yes</subject></subjects>");
  ASSERT_EQ(Call(*owner_, "start", "<qid>1</qid>").type, "result");
  ASSERT_EQ(
      Call(*voters_[0], "voting", "<qid>1</qid><subjects><subject>1</subject></subjects>").type,
      "result");
  component_->Stop(SIGTERM, 5s);
  std::this_thread::sleep_for(5s);
  StartComponent();
  JoinAll();

  const auto ends = [](const TestClient& client) {
    int count = 0;
    for (const ReceivedStanza& stanza : client.received()) {
      if (stanza.name == "iq" && stanza.type == "set" &&
          stanza.text.find("type=\"end\"") != std::string::npos &&
          stanza.text.find("<qid>1</qid>") != std::string::npos) {
        ++count;
      }
    }
    return count;
  };
  std::vector<TestClient*> everybody = voters_;
  everybody.push_back(owner_);
  ASSERT_TRUE(RunUntil(context_, [&] {
    for (const TestClient* client : everybody) {
      if (ends(*client) != 1) return false;
    }
    return true;
  })) << ComponentLog();
  pugi::xml_document result;
  result.load_string(Call(*owner_, "result", "<qid>1</qid>").text.c_str());
  EXPECT_EQ(result.child("iq").child("query").child("count").text().as_int(), 1);
}

INSTANTIATE_TEST_SUITE_P(Stores, ConfserverCrashTest,
                         ::testing::Values(postgres_test::Backend::kSqlite,
                                           postgres_test::Backend::kPostgres),
                         [](const auto& backend) { return postgres_test::NameOf(backend.param); });

}  // namespace
}  // namespace quenlo::xmpp_test
