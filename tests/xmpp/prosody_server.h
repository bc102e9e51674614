// A Prosody of the caller's own (see XmppServer), users registered with prosodyctl, and besides
// the conference domains a host for guests and Prosody's own group chat service.
#pragma once

#include <string>
#include <vector>

#include "tests/xmpp/xmpp_server.h"

namespace quenlo::xmpp_test {

class ProsodyServer final : public XmppServer {
 public:
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
  ~ProsodyServer() override;

  const char* name() const noexcept override { return "Prosody"; }
  void Restart() override;

 private:
  void Start();

  std::string configFile_;
};

}  // namespace quenlo::xmpp_test
