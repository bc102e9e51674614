#include "tests/xmpp/prosody_server.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quenlo::xmpp_test {

ProsodyServer::ProsodyServer(const std::vector<std::string>& users, ClientStanzas client_stanzas)
    : XmppServer("quenlo-prosody", users), configFile_(PathFor("prosody.cfg.lua")) {
  std::filesystem::create_directory(PathFor("data"));
  const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
  std::string config;
  // Root is what CI runs as; the folder is the caller's own, so nothing is at stake.
  config += "run_as_root = true\n";
  config += "pidfile = " + quoted(PathFor("prosody.pid")) + "\n";
  config += "data_path = " + quoted(PathFor("data")) + "\n";
  config += "certificates = " + quoted(PathFor("")) + "\n";
  config += "log = { info = " + quoted(PathFor("prosody.log")) + " }\n";
  config += "interfaces = { \"127.0.0.1\" }\n";
  config += "c2s_ports = { " + std::to_string(ClientPort()) + " }\n";
  config += "component_ports = { " + std::to_string(ComponentPort()) + " }\n";
  config += "component_interfaces = { \"127.0.0.1\" }\n";
  config += "s2s_ports = { }\nc2s_direct_tls_ports = { }\nlegacy_ssl_ports = { }\n";
  config += "http_ports = { }\nhttps_ports = { }\n";
  // Room for a crowd of logins arriving at once (the full-hall benchmark).
  config += "network_settings = { tcp_backlog = 4096 }\n";
  // Plain TCP on loopback: there is no certificate to offer.
  config += "c2s_require_encryption = false\nallow_unencrypted_plain_auth = true\n";
  config += "authentication = \"internal_plain\"\n";
  if (client_stanzas == ClientStanzas::kLargeLimit) {
    config += "c2s_stanza_size_limit = 4 * 1024 * 1024\n";
  }
  config += "modules_enabled = { \"roster\", \"saslauth\", \"disco\", \"ping\", \"posix\" }\n";
  config += "modules_disabled = { \"s2s\", \"offline\", \"c2s_csi\" }\n";
  config += "VirtualHost " + quoted(kDomain) + "\n";
  config += "VirtualHost " + quoted(kGuestDomain) + "\n";
  config += "  authentication = \"anonymous\"\n";
  for (const char* component : {kComponentDomain, kSpareComponentDomain}) {
    config += "Component " + quoted(component) + "\n";
    config += "  component_secret = " + quoted(kSecret) + "\n";
  }
  config += "Component " + quoted(kGroupChatDomain) + " \"muc\"\n";
  // A new room takes people at once, without waiting for its owner to configure it.
  config += "  muc_room_locking = false\n";
  // Occupants are not told of each other's comings and goings: in a hall of thousands that
  // traffic grows with the square of the crowd, and the conference service sends none either.
  config += "  muc_room_default_presence_broadcast = { }\n";
  std::ofstream(configFile_) << config;
  for (const std::string& user : users) {
    const std::string command = "prosodyctl --config " + configFile_ + " register " + user + " " +
                                kDomain + " " + PasswordOf(user) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot register " + user);
  }
  Start();
}

ProsodyServer::~ProsodyServer() { Stop(); }

void ProsodyServer::Start() {
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"prosody", "--config", configFile_, "-F"}, PathFor("prosody.out"));
  AwaitPorts(std::chrono::seconds(10), {"prosody.out", "prosody.log"});
}

void ProsodyServer::Restart() {
  Stop();
  Start();
}

}  // namespace quenlo::xmpp_test
