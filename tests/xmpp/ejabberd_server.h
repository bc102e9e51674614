// An ejabberd of the test's own, started directly with Erlang (not through Debian's ejabberdctl,
// which switches to the system user and puts back the system configuration): configuration,
// Mnesia spool and log in a fresh temporary folder, loopback only, free ports, the conference
// component's domain configured with ProsodyServer's secret, users registered at start with the
// passwords ProsodyServer::PasswordOf. The node is not distributed, so no Erlang port mapper
// (epmd) is started. Stopped by its PID when the object goes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/xmpp/child_process.h"

namespace quenlo::xmpp_test {

class EjabberdServer {
 public:
  // Throws std::runtime_error (with the tail of its log) when the server does not come up within
  // a minute.
  explicit EjabberdServer(const std::vector<std::string>& users);
  EjabberdServer(const EjabberdServer&) = delete;
  EjabberdServer& operator=(const EjabberdServer&) = delete;
  ~EjabberdServer();

  unsigned short ClientPort() const noexcept { return clientPort_; }
  unsigned short ComponentPort() const noexcept { return componentPort_; }
  std::string SecretFile() const { return directory_ + "/component.secret"; }
  std::string PathFor(const std::string& name) const { return directory_ + "/" + name; }
  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;
  unsigned short clientPort_ = 0;
  unsigned short componentPort_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace quenlo::xmpp_test
