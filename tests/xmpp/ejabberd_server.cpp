#include "tests/xmpp/ejabberd_server.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tests/xmpp/prosody_server.h"

namespace quenlo::xmpp_test {
namespace {

constexpr auto kStartTime = std::chrono::seconds(60);
// Where Debian keeps ejabberd's Erlang applications and those it depends on.
constexpr char kErlangLibraries[] = "/usr/lib/x86_64-linux-gnu";

}  // namespace

EjabberdServer::EjabberdServer(const std::vector<std::string>& users) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "quenlo-ejabberd-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temp folder");
  directory_ = pattern;
  clientPort_ = FreeLoopbackPort();
  componentPort_ = FreeLoopbackPort();
  std::ofstream(SecretFile()) << ProsodyServer::kSecret << "\n";
  std::ofstream(PathFor("ejabberd.yml"))
      << "hosts:\n  - " << ProsodyServer::kDomain << "\n"
      << "loglevel: info\ncertfiles: []\nauth_method: internal\ndefault_db: mnesia\n"
      << "listen:\n"
      << "  - port: " << clientPort_ << "\n    ip: \"127.0.0.1\"\n    module: ejabberd_c2s\n"
      << "  - port: " << componentPort_ << "\n    ip: \"127.0.0.1\"\n    module: ejabberd_service\n"
      << "    hosts:\n      \"" << ProsodyServer::kComponentDomain << "\":\n        password: \""
      << ProsodyServer::kSecret << "\"\n"
      << "shaper_rules:\n  c2s_shaper: none\n"
      << "modules:\n  mod_disco: {}\n  mod_ping: {}\n";
  std::string registrations = "[ejabberd_auth:try_register(list_to_binary(U), <<\"" +
                              std::string(ProsodyServer::kDomain) +
                              "\">>, list_to_binary(U ++ \"-secret\")) || U <- [";
  for (std::size_t i = 0; i < users.size(); ++i) {
    registrations += (i == 0 ? "\"" : ", \"") + users[i] + "\"";
  }
  registrations += "]], io:format(\"users registered~n\").";
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"env", std::string("ERL_LIBS=") + kErlangLibraries,
                               "EJABBERD_CONFIG_PATH=" + PathFor("ejabberd.yml"),
                               "EJABBERD_LOG_PATH=" + PathFor("ejabberd.log"), "erl", "-noinput",
                               "-noshell", "-mnesia", "dir", "\"" + PathFor("spool") + "\"", "-s",
                               "ejabberd", "-eval", registrations},
      PathFor("erlang.out"));
  if (!WaitForOutput(*process_, PathFor("erlang.out"), "users registered", kStartTime) ||
      !Listening(clientPort_) || !Listening(componentPort_)) {
    const std::string log = ReadFile(PathFor("ejabberd.log")) + ReadFile(PathFor("erlang.out"));
    throw std::runtime_error("ejabberd did not come up: " +
                             log.substr(log.size() > 2000 ? log.size() - 2000 : 0));
  }
}

EjabberdServer::~EjabberdServer() {
  // Erlang stops its node cleanly on SIGTERM; its helper processes end with it.
  process_->Stop(SIGTERM, std::chrono::seconds(10));
  process_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

}  // namespace quenlo::xmpp_test
