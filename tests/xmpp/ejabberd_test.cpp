// confserver against ejabberd: it serves rooms as a component there too, and a second service
// for the same domain stands by without connecting while one serves (ejabberd would spread the
// domain's stanzas over both). Nothing of ejabberd is left running afterwards.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "tests/xmpp/ejabberd_server.h"
#include "tests/xmpp/prosody_server.h"
#include "tests/xmpp/test_client.h"

namespace quenlo::xmpp_test {
namespace {

using namespace std::chrono_literals;

constexpr char kRoom[] = "board@conference.example.net";

// Whether a process other than this one has `text` in its command line.
bool SomeProcessNames(const std::string& text) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string pid = entry.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (std::stoi(pid) == getpid()) continue;
    std::ifstream cmdline(entry.path() / "cmdline");
    const std::string line((std::istreambuf_iterator<char>(cmdline)), {});
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

class EjabberdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<EjabberdServer>(std::vector<std::string>{"alice", "bob"});
    directory_ = server_->directory();
    store_ = server_->PathFor("rooms.db");
  }
  void TearDown() override {
    clients_.clear();
    for (auto& service : services_) {
      const std::optional<int> status = service->Stop(SIGTERM, 10s);
      EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    }
    services_.clear();
    server_.reset();
    EXPECT_FALSE(SomeProcessNames(directory_)) << "something of ejabberd is still running";
  }

  ChildProcess& StartService(const std::string& log, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> command = {QUENLO_CONFSERVER_PATH,
                                        "--xmpp",
                                        "127.0.0.1:" + std::to_string(server_->ComponentPort()),
                                        "--domain",
                                        ProsodyServer::kComponentDomain,
                                        "--store",
                                        store_,
                                        "--secret-file",
                                        server_->SecretFile()};
    command.insert(command.end(), extra.begin(), extra.end());
    return *services_.emplace_back(std::make_unique<ChildProcess>(command, server_->PathFor(log)));
  }

  TestClient& Client(const std::string& user) {
    auto client = std::make_unique<TestClient>(context_, server_->ClientPort(), user);
    client->Connect();
    return *clients_.emplace_back(std::move(client));
  }

  std::string Ask(TestClient& client, const std::string& type) {
    const std::string id = "e" + std::to_string(++requests_);
    client.Send("<iq type='set' id='" + id + "' to='" + kRoom + "'><query type='" + type +
                "' xmlns='quenlo:conf:voting'/></iq>");
    if (!RunUntil(context_, [&] { return client.AnswerTo(id) != nullptr; })) return "(none)";
    return client.AnswerTo(id)->type;
  }

  xmpp::Context context_;
  std::unique_ptr<EjabberdServer> server_;
  std::string directory_;
  std::string store_;
  std::vector<std::unique_ptr<ChildProcess>> services_;
  std::vector<std::unique_ptr<TestClient>> clients_;
  int requests_ = 0;
};

TEST_F(EjabberdTest, ServesARoomAsAComponent) {
  ChildProcess& service = StartService("confserver.log");
  ASSERT_TRUE(WaitForOutput(service, server_->PathFor("confserver.log"), "connected to", 20s))
      << ReadFile(server_->PathFor("confserver.log"));
  TestClient& alice = Client("alice");
  TestClient& bob = Client("bob");
  alice.Join(kRoom, "Alice");
  bob.Join(kRoom, "Bob");
  EXPECT_EQ(Ask(alice, "apply"), "result");  // the first to join owns the room
  EXPECT_EQ(Ask(bob, "apply"), "error");
}

TEST_F(EjabberdTest, ASecondServiceForTheDomainStandsByUnconnectedAndTakesOver) {
  ChildProcess& first = StartService("first.log");
  ASSERT_TRUE(WaitForOutput(first, server_->PathFor("first.log"), "connected to", 20s));
  ChildProcess& second = StartService("second.log", {"--standby"});
  ASSERT_TRUE(WaitForOutput(second, server_->PathFor("second.log"), "standing by", 20s));
  TestClient& alice = Client("alice");
  alice.Join(kRoom, "Alice");
  // Were the second connected, ejabberd would hand it some of these, which it could not answer
  // as the room's owner knows it.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Ask(alice, "apply"), "result");
  EXPECT_EQ(ReadFile(server_->PathFor("second.log")).find("connected"), std::string::npos);

  const std::optional<int> status = first.Stop(SIGTERM, 10s);
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
  services_.erase(services_.begin());
  ASSERT_TRUE(WaitForOutput(second, server_->PathFor("second.log"), "connected to", 20s))
      << ReadFile(server_->PathFor("second.log"));
  alice.Join(kRoom, "Alice");
  EXPECT_EQ(Ask(alice, "apply"), "result");
}

}  // namespace
}  // namespace quenlo::xmpp_test
