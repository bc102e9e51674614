// Keeps confserver connected to its XMPP server: connects as the component, serves until told to
// stop, and reconnects with backoff when the connection drops. A first connection that fails
// ends the run instead: a wrong secret or address will not mend by waiting. So does the loss of
// the service's lease: another service may be serving the rooms already.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "server/conference_server.h"
#include "server/service_lease.h"
#include "server/service_metrics.h"
#include "server/xmpp/runner_events.h"
#include "server/xmpp/service_log.h"

namespace quenlo::server {

struct GatewayAccount {
  std::string host;
  unsigned short port = 0;
  std::string domain;
  std::string secret;
};

class GatewayRunner {
 public:
  // `lease` is the one the service holds; it is asked four times a second whether it still does.
  // Null for a store that fences out earlier holders by itself. `between_turns` (when given) runs
  // on the runner's thread between libstrophe's turns, every few milliseconds, also while the
  // runner waits to reconnect: other I/O that needs the service (the HTTP listener) shares the
  // thread, so the service has a single owner. It gives true when it has more to do at once;
  // the next turn then only takes what XMPP has ready instead of waiting for it.
  GatewayRunner(ConferenceServer& service, GatewayAccount account, const ServiceLog& log,
                ServiceLease* lease, std::function<bool()> between_turns = {});

  // Tells `events` what happens from now on, after those told before.
  void Report(RunnerEvents& events) { events_.push_back(&events); }
  // Counts the requests, connections and reconnections in `metrics` from now on.
  void Measure(ServiceMetrics& metrics) { metrics_ = &metrics; }

  // Serves until `stop` is set. Throws std::runtime_error with a one-line reason when the first
  // connection fails (after trying again for `patience`) or the lease is lost.
  void Run(const std::atomic<bool>& stop,
           std::chrono::milliseconds patience = std::chrono::milliseconds(0));

 private:
  // Serves one connection until it drops or `stop` is set. False when it never connected; the
  // reason is in `failure`.
  bool ServeOnce(const std::atomic<bool>& stop, std::string& failure);
  // Waits `duration`, running the work between turns, and waking early when `stop` is set.
  void Pause(std::chrono::milliseconds duration, const std::atomic<bool>& stop);
  std::chrono::milliseconds TurnLength() const;
  void ReportAlive();

  ConferenceServer& service_;
  GatewayAccount account_;
  const ServiceLog& log_;
  ServiceLease* lease_;
  std::vector<RunnerEvents*> events_;
  ServiceMetrics* metrics_ = nullptr;
  std::function<bool()> betweenTurns_;
};

}  // namespace quenlo::server
