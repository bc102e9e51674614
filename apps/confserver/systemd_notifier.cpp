#include "apps/confserver/systemd_notifier.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace quenlo::confserver {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How often the rooms and members are counted again for the status line.
constexpr auto kCensusPeriod = std::chrono::seconds(2);

void Notify(const std::string& state) { sd_notify(0, state.c_str()); }

}  // namespace

SystemdNotifier::SystemdNotifier() {
  std::uint64_t microseconds = 0;
  if (sd_watchdog_enabled(0, &microseconds) > 0) {
    watchdog_period_ = std::chrono::microseconds(microseconds);
  }
}

void SystemdNotifier::Status(const std::string& text) {
  if (text == last_status_) return;
  last_status_ = text;
  Notify("STATUS=" + text);
}

void SystemdNotifier::Stopping() { Notify("STOPPING=1\nSTATUS=stopping"); }

void SystemdNotifier::Connected() {
  connected_ = true;
  Status(ConnectedStatus());
  if (!ready_) {
    ready_ = true;
    Notify("READY=1");
  }
}

void SystemdNotifier::Disconnected(const std::string& reason) {
  connected_ = false;
  if (!reason.empty()) Status("disconnected (" + reason + "); reconnecting");
}

void SystemdNotifier::Alive() {
  const auto now = SteadyClock::now();
  // From ready on (systemd watches the watchdog from then), at half the period systemd waits, as
  // sd_watchdog_enabled(3) advises.
  if (ready_ && watchdog_period_.count() > 0 && now >= next_ping_) {
    Notify("WATCHDOG=1");
    next_ping_ = now + watchdog_period_ / 2;
  }
  if (connected_ && now >= next_census_) {
    Status(ConnectedStatus());
    next_census_ = now + kCensusPeriod;
  }
}

std::string SystemdNotifier::ConnectedStatus() {
  if (service_ == nullptr) return "connected";
  const server::ConferenceServer::Census census = service_->Count();
  return "connected; " + std::to_string(census.rooms) + " rooms, " +
         std::to_string(census.members) + " members";
}

}  // namespace quenlo::confserver
