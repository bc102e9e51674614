// An ejabberd of the caller's own (see XmppServer), started directly with Erlang rather than
// through Debian's ejabberdctl, which switches to the system user and puts back the system
// configuration. Its Mnesia spool and log are in the server's folder too, and users are
// registered by the admin module once it is up. The node is not distributed, so no Erlang port
// mapper (epmd) is started and none can outlive the test.
#pragma once

#include <string>
#include <vector>

#include "tests/xmpp/xmpp_server.h"

namespace quenlo::xmpp_test {

class EjabberdServer final : public XmppServer {
 public:
  // Throws std::runtime_error (with the tail of its log) when the server does not come up within
  // a minute.
  explicit EjabberdServer(const std::vector<std::string>& users);
  ~EjabberdServer() override;

  const char* name() const noexcept override { return "ejabberd"; }
  // The spool keeps the users, so they are there again after a restart.
  void Restart() override;

 private:
  void Start();

  std::vector<std::string> users_;
};

}  // namespace quenlo::xmpp_test
