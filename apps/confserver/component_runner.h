// Keeps confserver connected to its XMPP server: connects as the component, serves until told to
// stop, and reconnects with backoff when the connection drops. A first connection that fails
// ends the run instead: a wrong secret or address will not mend by waiting.
#pragma once

#include <atomic>
#include <string>

#include "apps/confserver/service_log.h"
#include "server/conference_server.h"

namespace quenlo::confserver {

struct ComponentAccount {
  std::string host;
  unsigned short port = 0;
  std::string domain;
  std::string secret;
};

class ComponentRunner {
 public:
  ComponentRunner(server::ConferenceServer& service, ComponentAccount account,
                  const ServiceLog& log);

  // Serves until `stop` is set. Throws std::runtime_error with a one-line reason when the first
  // connection fails.
  void Run(const std::atomic<bool>& stop);

 private:
  // Serves one connection until it drops or `stop` is set. False when it never connected; the
  // reason is in `failure`.
  bool ServeOnce(const std::atomic<bool>& stop, std::string& failure);

  server::ConferenceServer& service_;
  ComponentAccount account_;
  const ServiceLog& log_;
};

}  // namespace quenlo::confserver
