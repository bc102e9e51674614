#include "tests/xmpp/prosody_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace quenlo::xmpp_test {
namespace {

sockaddr_in LoopbackAddress(unsigned short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream file(path);
  file << text;
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string Tail(const std::string& text, std::size_t length) {
  return text.size() <= length ? text : text.substr(text.size() - length);
}

}  // namespace

std::vector<std::string> ComponentArguments(const ProsodyServer& server) {
  return {"--xmpp",        "127.0.0.1:" + std::to_string(server.ComponentPort()),
          "--domain",      ProsodyServer::kComponentDomain,
          "--store",       server.PathFor("rooms.db"),
          "--secret-file", server.SecretFile()};
}

unsigned short FreeLoopbackPort() {
  const int socket_fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof(address);
  if (bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(socket_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(socket_fd);
    throw std::runtime_error("cannot find a free port");
  }
  close(socket_fd);
  return ntohs(address.sin_port);
}

bool Listening(unsigned short port) {
  const int socket_fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = LoopbackAddress(port);
  const bool accepted =
      connect(socket_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(socket_fd);
  return accepted;
}

ProsodyServer::ProsodyServer(const std::vector<std::string>& users, ClientStanzas client_stanzas) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quenlo-prosody-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temp folder");
  directory_ = pattern;
  std::filesystem::create_directory(directory_ + "/data");
  clientPort_ = FreeLoopbackPort();
  componentPort_ = FreeLoopbackPort();
  configFile_ = directory_ + "/prosody.cfg.lua";
  const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
  std::string config;
  // Root is what CI runs as; the folder is the caller's own, so nothing is at stake.
  config += "run_as_root = true\n";
  config += "pidfile = " + quoted(directory_ + "/prosody.pid") + "\n";
  config += "data_path = " + quoted(directory_ + "/data") + "\n";
  config += "certificates = " + quoted(directory_) + "\n";
  config += "log = { info = " + quoted(directory_ + "/prosody.log") + " }\n";
  config += "interfaces = { \"127.0.0.1\" }\n";
  config += "c2s_ports = { " + std::to_string(clientPort_) + " }\n";
  config += "component_ports = { " + std::to_string(componentPort_) + " }\n";
  config += "component_interfaces = { \"127.0.0.1\" }\n";
  config += "s2s_ports = { }\nc2s_direct_tls_ports = { }\nlegacy_ssl_ports = { }\n";
  config += "http_ports = { }\nhttps_ports = { }\n";
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
  WriteFile(configFile_, config);
  WriteFile(SecretFile(), std::string(kSecret) + "\n");
  WriteFile(WrongSecretFile(), "not-the-secret\n");
  for (const std::string& user : users) {
    const std::string command = "prosodyctl --config " + configFile_ + " register " + user + " " +
                                kDomain + " " + PasswordOf(user) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot register " + user);
    WriteFile(PasswordFile(user), PasswordOf(user) + "\n");
  }
  Start();
}

ProsodyServer::~ProsodyServer() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

std::string ProsodyServer::PasswordFile(const std::string& user) const {
  return directory_ + "/" + user + ".password";
}

void ProsodyServer::Start() {
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"prosody", "--config", configFile_, "-F"},
      directory_ + "/prosody.out");
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Listening(clientPort_) || !Listening(componentPort_)) {
    if (!process_->running() || std::chrono::steady_clock::now() > until) {
      const std::string log =
          ReadFile(directory_ + "/prosody.out") + ReadFile(directory_ + "/prosody.log");
      process_.reset();
      throw std::runtime_error("Prosody did not start: " + Tail(log, 2000));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void ProsodyServer::Stop() {
  if (process_) process_->Stop(SIGTERM, std::chrono::seconds(5));
  process_.reset();
}

void ProsodyServer::Restart() {
  Stop();
  Start();
}

}  // namespace quenlo::xmpp_test
