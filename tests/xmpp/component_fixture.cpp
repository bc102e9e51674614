#include "tests/xmpp/component_fixture.h"

#include <sys/wait.h>

#include <csignal>
#include <stdexcept>

namespace quenlo::xmpp_test {

const std::vector<std::string>& ComponentFixture::Users() {
  static const std::vector<std::string> users = {"alice", "bob",   "carol", "dave",  "load0",
                                                 "load1", "load2", "load3", "load4", "load5",
                                                 "load6", "load7", "load8", "load9"};
  return users;
}

std::unique_ptr<XmppServer> ComponentFixture::MakeServer() { return StartXmppServer(Users()); }

void ComponentFixture::SetUp() {
  server_ = MakeServer();
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
  if (!server_) return;
  // Every process of the server names its folder (its configuration or its spool).
  const std::string folder = server_->PathFor("");
  const std::string name = server_->name();
  server_.reset();
  EXPECT_FALSE(SomeProcessNames(folder)) << "something of " << name << " is still running";
}

std::unique_ptr<ChildProcess> ComponentFixture::LaunchConfserver(
    const std::vector<std::string>& arguments, const std::string& log_name) {
  return xmpp_test::LaunchConfserver(arguments, server_->PathFor(log_name));
}

std::vector<std::string> ComponentFixture::ServerArguments() const {
  return ConfserverArguments(*server_, store_);
}

void ComponentFixture::StartComponent(const std::vector<std::string>& extra_arguments) {
  try {
    component_ =
        StartConfserver(*server_, store_, server_->PathFor("confserver.log"), extra_arguments);
  } catch (const std::runtime_error& error) {
    FAIL() << error.what();
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
