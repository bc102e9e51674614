#include "tests/xmpp/xmpp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/xmpp/ejabberd_server.h"
#include "tests/xmpp/prosody_server.h"

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

}  // namespace

XmppServer::XmppServer(const std::string& folder_prefix, const std::vector<std::string>& users) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / (folder_prefix + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temp folder");
  directory_ = pattern;
  clientPort_ = FreeLoopbackPort();
  componentPort_ = FreeLoopbackPort();
  WriteFile(SecretFile(), std::string(kSecret) + "\n");
  WriteFile(WrongSecretFile(), "not-the-secret\n");
  for (const std::string& user : users) WriteFile(PasswordFile(user), PasswordOf(user) + "\n");
}

XmppServer::~XmppServer() {
  process_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

void XmppServer::Stop() {
  if (process_) process_->Stop(SIGTERM, std::chrono::seconds(10));
  process_.reset();
}

void XmppServer::AwaitPorts(std::chrono::milliseconds patience,
                            const std::vector<std::string>& logs) {
  const auto until = std::chrono::steady_clock::now() + patience;
  while (!Listening(clientPort_) || !Listening(componentPort_)) {
    if (!process_ || !process_->running() || std::chrono::steady_clock::now() > until) {
      Stop();
      throw std::runtime_error(std::string(name()) + " did not start: " + LogTail(logs));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string XmppServer::LogTail(const std::vector<std::string>& logs) const {
  std::string text;
  for (const std::string& log : logs) text += ReadFile(PathFor(log));
  constexpr std::size_t kLength = 2000;
  return text.size() <= kLength ? text : text.substr(text.size() - kLength);
}

std::unique_ptr<XmppServer> StartXmppServer(const std::vector<std::string>& users) {
  const char* chosen = std::getenv("QUENLO_TEST_XMPP_SERVER");
  const std::string server = chosen ? chosen : "prosody";
  if (server == "prosody") return std::make_unique<ProsodyServer>(users);
  if (server == "ejabberd") return std::make_unique<EjabberdServer>(users);
  throw std::invalid_argument("QUENLO_TEST_XMPP_SERVER is \"" + server +
                              "\", not prosody or ejabberd");
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

bool SomeProcessNames(const std::string& text) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string pid = entry.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (std::stoi(pid) == getpid()) continue;
    std::ifstream cmdline(entry.path() / "cmdline");
    const std::string line((std::istreambuf_iterator<char>(cmdline)), {});
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

}  // namespace quenlo::xmpp_test
