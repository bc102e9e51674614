// Tells systemd how confserver is doing (sd_notify): READY=1 once the store is open and the
// component first connected, a STATUS= line on each change (connected or not, rooms, members),
// and WATCHDOG=1 from the event loop, so that a loop stuck anywhere gets the service restarted.
// Without NOTIFY_SOCKET (not started by systemd) every call does nothing.
#pragma once

#include <chrono>
#include <string>

#include "server/conference_server.h"
#include "server/xmpp/runner_events.h"

namespace quenlo::confserver {

class SystemdNotifier final : public server::RunnerEvents {
 public:
  SystemdNotifier();

  // The service whose rooms and members the status counts, from now on.
  void Watch(server::ConferenceServer& service) { service_ = &service; }
  void Status(const std::string& text);
  void Stopping();

  void Connected() override;
  void Disconnected(const std::string& reason) override;
  void Alive() override;

 private:
  std::string ConnectedStatus();

  server::ConferenceServer* service_ = nullptr;
  bool ready_ = false;
  bool connected_ = false;
  std::string last_status_;
  // Zero when systemd watches no watchdog.
  std::chrono::microseconds watchdog_period_{0};
  std::chrono::steady_clock::time_point next_ping_;
  std::chrono::steady_clock::time_point next_census_;
};

}  // namespace quenlo::confserver
