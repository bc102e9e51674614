// A test's own XMPP server (Prosody, or ejabberd when the test program is run for it: see
// StartXmppServer) with confserver attached as the conference component, and a way to make bare
// clients on it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/xmpp/child_process.h"
#include "tests/xmpp/confserver_process.h"
#include "tests/xmpp/test_client.h"
#include "tests/xmpp/xmpp_server.h"

namespace quenlo::xmpp_test {

inline constexpr char kRoom[] = "board@conference.example.net";

class ComponentFixture : public ::testing::Test {
 protected:
  // Users registered on every test's server.
  static const std::vector<std::string>& Users();

  void SetUp() override;
  // Stops confserver (which must end cleanly) and the server, of which nothing may be left.
  void TearDown() override;

  // The test's server, with Users() registered: the one StartXmppServer chooses unless a test
  // needs a particular one.
  virtual std::unique_ptr<XmppServer> MakeServer();

  // Starts confserver with these arguments after its own program path, without waiting; its log
  // is kept in the server's folder under `log_name`.
  std::unique_ptr<ChildProcess> LaunchConfserver(const std::vector<std::string>& arguments,
                                                 const std::string& log_name = "confserver.log");
  // The arguments that attach confserver to this test's server.
  std::vector<std::string> ServerArguments() const;
  // Starts confserver attached to the server, with `extra_arguments` after those that attach
  // it, and waits until the component is connected.
  void StartComponent(const std::vector<std::string>& extra_arguments = {});
  std::string ComponentLog() const;

  // A logged-in client of `user`, living as long as the test.
  TestClient& Client(const std::string& user, const std::string& resource = "test");

  xmpp::Context context_;
  std::unique_ptr<XmppServer> server_;
  // Where confserver keeps the rooms: a file in the server's folder unless a test says otherwise.
  std::string store_;
  std::unique_ptr<ChildProcess> component_;
  std::vector<std::unique_ptr<TestClient>> clients_;
};

}  // namespace quenlo::xmpp_test
