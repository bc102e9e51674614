#include "tests/xmpp/confserver_process.h"

#include <csignal>
#include <stdexcept>

namespace quenlo::xmpp_test {

std::vector<std::string> ConfserverArguments(const XmppServer& server, const std::string& store) {
  return {"--xmpp",        "127.0.0.1:" + std::to_string(server.ComponentPort()),
          "--domain",      XmppServer::kComponentDomain,
          "--store",       store,
          "--secret-file", server.SecretFile()};
}

std::unique_ptr<ChildProcess> LaunchConfserver(const std::vector<std::string>& arguments,
                                               const std::string& log) {
  std::vector<std::string> command = {QUENLO_CONFSERVER_PATH};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return std::make_unique<ChildProcess>(command, log);
}

std::unique_ptr<ChildProcess> StartConfserver(const XmppServer& server, const std::string& store,
                                              const std::string& log,
                                              const std::vector<std::string>& extra_arguments) {
  std::vector<std::string> arguments = ConfserverArguments(server, store);
  arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
  std::unique_ptr<ChildProcess> confserver = LaunchConfserver(arguments, log);
  if (!WaitForOutput(*confserver, log, "connected to", std::chrono::seconds(20))) {
    confserver->Stop(SIGTERM, std::chrono::seconds(5));
    throw std::runtime_error("confserver did not connect: " + ReadFile(log));
  }
  return confserver;
}

}  // namespace quenlo::xmpp_test
