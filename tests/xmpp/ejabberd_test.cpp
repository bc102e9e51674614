// Two confserver processes for one domain on ejabberd. Unlike Prosody, ejabberd accepts several
// component connections for one domain and spreads the domain's stanzas over them, so a second
// service connected while the first serves would get part of the traffic and answer it from
// state it does not hold. The second one (--standby on the same store) must stand by without any
// connection to the server until the first ends, and then carry on the meeting.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/xmpp/component_fixture.h"
#include "tests/xmpp/ejabberd_server.h"

namespace quenlo::xmpp_test {
namespace {

// How many TCP connections of process `pid` go to 127.0.0.1:`port`.
int ConnectionsTo(pid_t pid, unsigned short port) {
  std::set<std::string> sockets;
  const std::filesystem::path descriptors = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& entry : std::filesystem::directory_iterator(descriptors)) {
    std::error_code unreadable;
    const std::string target = std::filesystem::read_symlink(entry.path(), unreadable).string();
    if (target.starts_with("socket:[")) sockets.insert(target.substr(8, target.size() - 9));
  }
  char remote[32];
  std::snprintf(remote, sizeof(remote), "0100007F:%04X", port);
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  int connections = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, peer, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> peer >> state >> queues >> timer >> retransmits >> uid >> timeout >>
        inode;
    constexpr char kEstablished[] = "01";
    if (peer == remote && state == kEstablished && sockets.contains(inode)) ++connections;
  }
  return connections;
}

class EjabberdStandbyTest : public ComponentFixture {
 protected:
  std::unique_ptr<XmppServer> MakeServer() override {
    return std::make_unique<EjabberdServer>(Users());
  }

  // Alice's application for a vote: the number the room hands out, or "" when it is refused or
  // not answered.
  std::string Apply(TestClient& alice) {
    const std::string id = "apply" + std::to_string(++requests_);
    alice.Send("<iq type='set' id='" + id + "' to='" + kRoom +
               "'><query type='apply' xmlns='quenlo:conf:voting'/></iq>");
    if (!RunUntil(context_, [&] { return alice.AnswerTo(id) != nullptr; })) return "";
    const ReceivedStanza& answer = *alice.AnswerTo(id);
    const std::size_t at = answer.text.find("<qid>");
    if (answer.type != "result" || at == std::string::npos) return "";
    return answer.text.substr(at + 5, answer.text.find("</qid>") - at - 5);
  }

  int requests_ = 0;
};

TEST_F(EjabberdStandbyTest, TheSecondServiceHasNoConnectionWhileTheFirstServesThenTakesOver) {
  StartComponent();
  std::vector<std::string> arguments = ServerArguments();
  arguments.push_back("--standby");
  std::unique_ptr<ChildProcess> second = LaunchConfserver(arguments, "second.log");
  ASSERT_TRUE(WaitForOutput(*second, server_->PathFor("second.log"), "standing by", 20s))
      << ReadFile(server_->PathFor("second.log"));

  TestClient& alice = Client("alice");
  alice.Join(kRoom, "Alice");  // the first in, so the owner
  // Every application reaches the serving one: the room numbers them 1, 2, ... without a gap,
  // none is lost or answered by a service that does not know the room.
  constexpr int kApplications = 20;
  for (int number = 1; number <= kApplications; ++number) {
    ASSERT_EQ(Apply(alice), std::to_string(number)) << ComponentLog();
  }
  EXPECT_EQ(ConnectionsTo(component_->pid(), server_->ComponentPort()), 1);
  EXPECT_EQ(ConnectionsTo(second->pid(), server_->ComponentPort()), 0);
  EXPECT_EQ(ReadFile(server_->PathFor("second.log")).find("connected"), std::string::npos);

  const std::optional<int> status = component_->Stop(SIGTERM, 10s);
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << ComponentLog();
  component_ = std::move(second);
  ASSERT_TRUE(WaitForOutput(*component_, server_->PathFor("second.log"), "connected to", 20s))
      << ReadFile(server_->PathFor("second.log"));
  EXPECT_EQ(ConnectionsTo(component_->pid(), server_->ComponentPort()), 1);
  alice.Join(kRoom, "Alice");
  // The room goes on from the store: the next application gets the next number.
  EXPECT_EQ(Apply(alice), std::to_string(kApplications + 1))
      << ReadFile(server_->PathFor("second.log"));
}

}  // namespace
}  // namespace quenlo::xmpp_test
