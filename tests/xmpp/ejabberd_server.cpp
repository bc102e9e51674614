#include "tests/xmpp/ejabberd_server.h"

#include <chrono>
#include <fstream>
#include <stdexcept>

namespace quenlo::xmpp_test {
namespace {

constexpr auto kStartTime = std::chrono::seconds(60);
// Where Debian keeps ejabberd's Erlang applications and those it depends on.
constexpr char kErlangLibraries[] = "/usr/lib/x86_64-linux-gnu";
constexpr char kReady[] = "users registered";

}  // namespace

EjabberdServer::EjabberdServer(const std::vector<std::string>& users)
    : XmppServer("quenlo-ejabberd", users), users_(users) {
  std::ofstream config(PathFor("ejabberd.yml"));
  config << "hosts:\n  - " << kDomain << "\n"
         << "loglevel: info\ncertfiles: []\nauth_method: internal\ndefault_db: mnesia\n"
         << "listen:\n"
         << "  - port: " << ClientPort() << "\n    ip: \"127.0.0.1\"\n    module: ejabberd_c2s\n"
         << "  - port: " << ComponentPort() << "\n    ip: \"127.0.0.1\"\n"
         << "    module: ejabberd_service\n    hosts:\n";
  for (const char* component : {kComponentDomain, kSpareComponentDomain}) {
    config << "      \"" << component << "\":\n        password: \"" << kSecret << "\"\n";
  }
  // No shaper: the load tests send thousands of requests a second from one client.
  config << "shaper_rules:\n  c2s_shaper: none\n"
         << "modules:\n  mod_disco: {}\n  mod_ping: {}\n";
  if (!config.flush()) throw std::runtime_error("cannot write " + PathFor("ejabberd.yml"));
  Start();
}

EjabberdServer::~EjabberdServer() {
  // Erlang stops its node cleanly on SIGTERM; its helper processes end with it.
  Stop();
}

void EjabberdServer::Start() {
  // Registering a user who exists already (after a restart) changes nothing.
  std::string registrations = "[ejabberd_auth:try_register(list_to_binary(U), <<\"" +
                              std::string(kDomain) +
                              "\">>, list_to_binary(U ++ \"-secret\")) || U <- [";
  for (std::size_t i = 0; i < users_.size(); ++i) {
    registrations += (i == 0 ? "\"" : ", \"") + users_[i] + "\"";
  }
  registrations += std::string("]], io:format(\"") + kReady + "~n\").";
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"env", std::string("ERL_LIBS=") + kErlangLibraries,
                               "EJABBERD_CONFIG_PATH=" + PathFor("ejabberd.yml"),
                               "EJABBERD_LOG_PATH=" + PathFor("ejabberd.log"), "erl", "-noinput",
                               "-noshell", "-mnesia", "dir", "\"" + PathFor("spool") + "\"", "-s",
                               "ejabberd", "-eval", registrations},
      PathFor("erlang.out"));
  const std::vector<std::string> logs = {"ejabberd.log", "erlang.out"};
  if (!WaitForOutput(*process_, PathFor("erlang.out"), kReady, kStartTime)) {
    Stop();
    throw std::runtime_error("ejabberd did not come up: " + LogTail(logs));
  }
  AwaitPorts(std::chrono::seconds(5), logs);
}

void EjabberdServer::Restart() {
  Stop();
  Start();
}

}  // namespace quenlo::xmpp_test
