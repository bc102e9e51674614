// A Prosody of the test's own: configuration and data in a fresh temporary folder, loopback
// only, free ports chosen at start, the conference component's domain configured, users
// registered with prosodyctl. Stopped by its PID when the object goes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/xmpp/child_process.h"

namespace quenlo::xmpp_test {

class ProsodyServer {
 public:
  static constexpr char kDomain[] = "example.net";
  static constexpr char kComponentDomain[] = "conference.example.net";
  // A second component domain with the same secret, for a component to compare with.
  static constexpr char kSpareComponentDomain[] = "echo.example.net";
  // A host where anyone logs in without an account (SASL ANONYMOUS: connect with the bare
  // domain as JID), for crowds too large to register one by one.
  static constexpr char kGuestDomain[] = "guest.example.net";
  // Prosody's own group chat service, for a baseline to compare the conference service with.
  static constexpr char kGroupChatDomain[] = "rooms.example.net";

  // How large a stanza the server takes from clients: its own default (256 KiB), or 4 MiB, so
  // that bad-input tests reach the component rather than Prosody's limit.
  enum class ClientStanzas { kDefaultLimit, kLargeLimit };

  // Registers each user with the password PasswordOf(user). Throws std::runtime_error (with the
  // tail of Prosody's log) when the server does not come up within ten seconds. Every other
  // limit (what a component may send among them) is Prosody's default.
  explicit ProsodyServer(const std::vector<std::string>& users,
                         ClientStanzas client_stanzas = ClientStanzas::kLargeLimit);
  ProsodyServer(const ProsodyServer&) = delete;
  ProsodyServer& operator=(const ProsodyServer&) = delete;
  ~ProsodyServer();

  static constexpr char kSecret[] = "component-secret";

  static std::string PasswordOf(const std::string& user) { return user + "-secret"; }

  unsigned short ClientPort() const noexcept { return clientPort_; }
  // The server's process, while it runs.
  pid_t pid() const noexcept { return process_ ? process_->pid() : -1; }
  unsigned short ComponentPort() const noexcept { return componentPort_; }
  // A file holding the component secret, and one holding a wrong one.
  std::string SecretFile() const { return directory_ + "/component.secret"; }
  std::string WrongSecretFile() const { return directory_ + "/wrong.secret"; }
  // A file holding PasswordOf(user).
  std::string PasswordFile(const std::string& user) const;
  // A path for a file of the test's own, removed with the server.
  std::string PathFor(const std::string& name) const { return directory_ + "/" + name; }

  // Stops the server (it can be started again with Restart, on the same ports and data).
  void Stop();
  void Restart();

 private:
  void Start();

  std::string directory_;
  std::string configFile_;
  unsigned short clientPort_ = 0;
  unsigned short componentPort_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

// The arguments that attach confserver to `server` as its conference component, with the rooms
// kept in the server's folder (rooms.db).
std::vector<std::string> ComponentArguments(const ProsodyServer& server);

// A TCP port on 127.0.0.1 that nothing listens on right now.
unsigned short FreeLoopbackPort();
// True once something accepts connections on 127.0.0.1:`port`.
bool Listening(unsigned short port);

}  // namespace quenlo::xmpp_test
