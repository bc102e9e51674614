// confserver started the way its systemd unit starts it, with a notification socket of the
// test's own in place of systemd's: READY=1 comes only once the store is open and the component
// connected, watchdog pings follow from the event loop, and the status says what it is doing.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

using namespace std::chrono_literals;

// A datagram socket standing for systemd's NOTIFY_SOCKET.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      throw std::runtime_error("cannot bind " + path);
    }
  }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;
  ~NotifySocket() {
    close(socket_);
    unlink(path_.c_str());
  }

  // The assignments ("READY=1", "STATUS=...") that arrive within `timeout`, until one equals
  // `until` (when given).
  std::vector<std::string> Receive(std::chrono::milliseconds timeout,
                                   const std::string& until = "") {
    std::vector<std::string> received;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      timeval wait{0, 50'000};
      setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
      char buffer[4096];
      const ssize_t size = recv(socket_, buffer, sizeof(buffer), 0);
      if (size <= 0) continue;
      std::istringstream lines(std::string(buffer, static_cast<std::size_t>(size)));
      for (std::string line; std::getline(lines, line);) {
        received.push_back(line);
        if (line == until) return received;
      }
    }
    return received;
  }

 private:
  std::string path_;
  int socket_ = -1;
};

// ExecStart= of the unit, with the specifiers systemd would replace taken from `specifiers`.
std::vector<std::string> UnitCommandLine(const std::map<std::string, std::string>& specifiers) {
  std::ifstream unit(QUENLO_CONFSERVER_UNIT);
  std::string line;
  while (std::getline(unit, line) && line.rfind("ExecStart=", 0) != 0) {
  }
  std::istringstream words(line.substr(std::string("ExecStart=").size()));
  std::vector<std::string> command;
  for (std::string word; words >> word;) {
    for (const auto& [specifier, value] : specifiers) {
      for (std::size_t at; (at = word.find(specifier)) != std::string::npos;) {
        word.replace(at, specifier.size(), value);
      }
    }
    command.push_back(word);
  }
  return command;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

using ConfserverUnitTest = ComponentFixture;

TEST_F(ConfserverUnitTest, ReadyOnlyOnceConnectedThenWatchdogPings) {
  // The unit's folders: the configuration under %E, the secret as the credential under %d. A
  // standby on the store of a confserver already serving opens the store only when that one
  // ends, so that the time before it is ready is the test's to choose.
  const std::string etc = server_->PathFor("etc");
  const std::string credentials = server_->PathFor("credentials");
  std::filesystem::create_directories(etc + "/quenlo");
  std::filesystem::create_directories(credentials);
  std::filesystem::copy_file(server_->SecretFile(), credentials + "/secret");
  std::ofstream(etc + "/quenlo/confserver.toml")
      << "xmpp = \"127.0.0.1:" << server_->ComponentPort() << "\"\ndomain = \""
      << XmppServer::kComponentDomain << "\"\nstore = \"" << store_ << "\"\nstandby = true\n";
  std::vector<std::string> command = UnitCommandLine({{"%E", etc}, {"%d", credentials}});
  ASSERT_FALSE(command.empty());
  ASSERT_EQ(command[0], "/usr/bin/confserver");
  command[0] = QUENLO_CONFSERVER_PATH;
  for (const std::string& word : command) ASSERT_EQ(word.find('%'), std::string::npos) << word;

  StartComponent();
  NotifySocket notify(server_->PathFor("notify"));
  setenv("NOTIFY_SOCKET", server_->PathFor("notify").c_str(), 1);
  setenv("WATCHDOG_USEC", "400000", 1);
  const std::string log = server_->PathFor("unit.log");
  auto unit = std::make_unique<ChildProcess>(command, log);
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");

  const std::vector<std::string> waiting = notify.Receive(1500ms);
  EXPECT_FALSE(Contains(waiting, "READY=1")) << ReadFile(log);
  ASSERT_FALSE(waiting.empty()) << ReadFile(log);
  EXPECT_EQ(waiting.back().rfind("STATUS=standing by", 0), 0u) << waiting.back();

  component_->Stop(SIGTERM, 10s);
  component_ = std::move(unit);
  const std::vector<std::string> starting = notify.Receive(10s, "READY=1");
  ASSERT_TRUE(Contains(starting, "READY=1")) << ReadFile(log);
  // The log line comes before the notification: connected before ready.
  EXPECT_NE(ReadFile(log).find("connected to"), std::string::npos) << ReadFile(log);
  EXPECT_TRUE(Contains(starting, "STATUS=connected; 0 rooms, 0 members")) << ReadFile(log);
  EXPECT_FALSE(Contains(starting, "WATCHDOG=1"));  // no pings before ready

  Client("alice").Join(kRoom, "Alice");
  const std::vector<std::string> serving = notify.Receive(2500ms);
  EXPECT_GE(std::count(serving.begin(), serving.end(), "WATCHDOG=1"), 4) << ReadFile(log);
  EXPECT_TRUE(Contains(serving, "STATUS=connected; 1 rooms, 1 members")) << ReadFile(log);
  EXPECT_FALSE(Contains(serving, "READY=1"));  // once only

  const std::optional<int> status = component_->Stop(SIGTERM, 10s);
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << ReadFile(log);
  EXPECT_TRUE(Contains(notify.Receive(1s, "STOPPING=1"), "STOPPING=1"));
  component_.reset();
}

}  // namespace
}  // namespace quenlo::xmpp_test
