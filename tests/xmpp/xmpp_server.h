// An XMPP server of the caller's own, whichever it is (Prosody or ejabberd): a fresh temporary
// folder for its configuration, data and logs, loopback only, free ports chosen at start, the
// conference component's domain configured with a known secret, users registered at start.
// Stopped by its PID when the object goes, and its folder removed.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/xmpp/child_process.h"

namespace quenlo::xmpp_test {

class XmppServer {
 public:
  static constexpr char kDomain[] = "example.net";
  static constexpr char kComponentDomain[] = "conference.example.net";
  // A second component domain with the same secret, for a component to compare with.
  static constexpr char kSpareComponentDomain[] = "echo.example.net";
  static constexpr char kSecret[] = "component-secret";

  static std::string PasswordOf(const std::string& user) { return user + "-secret"; }

  XmppServer(const XmppServer&) = delete;
  XmppServer& operator=(const XmppServer&) = delete;
  virtual ~XmppServer();

  // "Prosody" or "ejabberd", for messages.
  virtual const char* name() const noexcept = 0;
  // Stops the server (SIGTERM, then SIGKILL after ten seconds); Restart starts it again on the
  // same ports and data.
  void Stop();
  virtual void Restart() = 0;

  unsigned short ClientPort() const noexcept { return clientPort_; }
  unsigned short ComponentPort() const noexcept { return componentPort_; }
  // The server's process, while it runs.
  pid_t pid() const noexcept { return process_ ? process_->pid() : -1; }
  // A file holding the component secret, and one holding a wrong one.
  std::string SecretFile() const { return PathFor("component.secret"); }
  std::string WrongSecretFile() const { return PathFor("wrong.secret"); }
  // A file holding PasswordOf(user), for each user registered at start.
  std::string PasswordFile(const std::string& user) const { return PathFor(user + ".password"); }
  // A path for a file of the caller's own, removed with the server.
  std::string PathFor(const std::string& name) const { return directory_ + "/" + name; }

 protected:
  // Makes the folder (named after `folder_prefix`), picks the ports and writes the secret and
  // password files.
  XmppServer(const std::string& folder_prefix, const std::vector<std::string>& users);

  // Waits until both ports take connections. Throws std::runtime_error with the tail of the
  // server's `logs` (files in its folder) when the process ends or `patience` passes first, and
  // stops what is left of it.
  void AwaitPorts(std::chrono::milliseconds patience, const std::vector<std::string>& logs);
  // The tail of those logs, for a failure's message.
  std::string LogTail(const std::vector<std::string>& logs) const;

  std::unique_ptr<ChildProcess> process_;

 private:
  std::string directory_;
  unsigned short clientPort_ = 0;
  unsigned short componentPort_ = 0;
};

// The server a test program runs against: ejabberd when the environment variable
// QUENLO_TEST_XMPP_SERVER is "ejabberd" (as ctest sets it for the Ejabberd.* runs), Prosody
// otherwise. Throws std::invalid_argument for any other value.
std::unique_ptr<XmppServer> StartXmppServer(const std::vector<std::string>& users);

// A TCP port on 127.0.0.1 that nothing listens on right now.
unsigned short FreeLoopbackPort();
// True once something accepts connections on 127.0.0.1:`port`.
bool Listening(unsigned short port);
// Whether a process other than this one has `text` in its command line.
bool SomeProcessNames(const std::string& text);

}  // namespace quenlo::xmpp_test
