#include "tests/xmpp/component_fixture.h"

#include <csignal>
#include <thread>

namespace quenlo::xmpp_test {

const std::vector<std::string>& ComponentFixture::Users() {
  static const std::vector<std::string> users = {"alice", "bob",   "carol", "dave",  "load0",
                                                 "load1", "load2", "load3", "load4", "load5",
                                                 "load6", "load7", "load8", "load9"};
  return users;
}

void ComponentFixture::SetUp() {
  server_ = std::make_unique<ProsodyServer>(Users());
  store_ = server_->PathFor("rooms.db");
}

void ComponentFixture::TearDown() {
  clients_.clear();
  if (component_) {
    // A clean exit also means no leak when confserver runs under the leak checker.
    const std::optional<int> status = component_->Stop(SIGTERM, std::chrono::seconds(10));
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << "confserver did not end cleanly ("
        << (!status                ? std::string("still running")
            : WIFSIGNALED(*status) ? "signal " + std::to_string(WTERMSIG(*status))
                                   : "exit " + std::to_string(WEXITSTATUS(*status)))
        << "):\n"
        << ComponentLog();
  }
  component_.reset();
  server_.reset();
}

std::unique_ptr<ChildProcess> ComponentFixture::StartConfserver(
    const std::vector<std::string>& arguments, const std::string& log_name) {
  std::vector<std::string> command = {QUENLO_CONFSERVER_PATH};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return std::make_unique<ChildProcess>(command, server_->PathFor(log_name));
}

std::vector<std::string> ComponentFixture::ServerArguments() const {
  // The rooms are kept in the test's own folder, never in the user's state folder.
  return {"--xmpp",        "127.0.0.1:" + std::to_string(server_->ComponentPort()),
          "--domain",      ProsodyServer::kComponentDomain,
          "--store",       store_,
          "--secret-file", server_->SecretFile()};
}

void ComponentFixture::StartComponent(const std::vector<std::string>& extra_arguments) {
  std::vector<std::string> arguments = ServerArguments();
  arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
  component_ = StartConfserver(arguments);
  if (!WaitForOutput(*component_, server_->PathFor("confserver.log"), "connected to",
                     std::chrono::seconds(10))) {
    FAIL() << "confserver did not connect:\n" << ComponentLog();
  }
}

std::string ComponentFixture::ComponentLog() const {
  return ReadFile(server_->PathFor("confserver.log"));
}

TestClient& ComponentFixture::Client(const std::string& user, const std::string& resource) {
  auto client = std::make_unique<TestClient>(context_, *server_, user, resource);
  client->Connect();
  return *clients_.emplace_back(std::move(client));
}

}  // namespace quenlo::xmpp_test
