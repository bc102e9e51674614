#include "server/xmpp/gateway_runner.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "server/xmpp/xmpp_gateway.h"
#include "xmpp/connection.h"

namespace quenlo::server {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr auto kTickPeriod = std::chrono::milliseconds(250);
constexpr auto kPollPeriod = std::chrono::milliseconds(50);
// With other work between turns, libstrophe waits at most this long, so that the other work
// (an HTTP request, say) never waits longer.
constexpr auto kSharedPollPeriod = std::chrono::milliseconds(5);
constexpr auto kFirstBackoff = std::chrono::milliseconds(250);
constexpr auto kLongestBackoff = std::chrono::seconds(10);
constexpr auto kGoodbyeTime = std::chrono::seconds(2);
constexpr char kLeaseLost[] = "lost the lease on the store: another confserver may be serving it";

}  // namespace

GatewayRunner::GatewayRunner(ConferenceServer& service, GatewayAccount account,
                             const ServiceLog& log, ServiceLease* lease,
                             std::function<bool()> between_turns)
    : service_(service),
      account_(std::move(account)),
      log_(log),
      lease_(lease),
      betweenTurns_(std::move(between_turns)) {}

std::chrono::milliseconds GatewayRunner::TurnLength() const {
  return betweenTurns_ ? kSharedPollPeriod : kPollPeriod;
}

void GatewayRunner::Pause(std::chrono::milliseconds duration, const std::atomic<bool>& stop) {
  const auto until = SteadyClock::now() + duration;
  while (!stop && SteadyClock::now() < until) {
    std::this_thread::sleep_for(TurnLength());
    if (betweenTurns_) betweenTurns_();
    ReportAlive();
  }
}

void GatewayRunner::ReportAlive() {
  for (RunnerEvents* events : events_) events->Alive();
}

void GatewayRunner::Run(const std::atomic<bool>& stop, std::chrono::milliseconds patience) {
  std::string failure;
  const auto give_up = SteadyClock::now() + patience;
  while (!ServeOnce(stop, failure)) {
    if (stop) return;  // told to stop before it ever connected
    if (SteadyClock::now() >= give_up) throw std::runtime_error(failure);
    Pause(kFirstBackoff, stop);
    if (stop) return;
  }
  std::chrono::milliseconds backoff = kFirstBackoff;
  while (!stop) {
    if (lease_ != nullptr && !lease_->StillHeld()) throw std::runtime_error(kLeaseLost);
    Pause(backoff, stop);
    if (stop) break;
    if (ServeOnce(stop, failure)) {
      backoff = kFirstBackoff;
    } else {
      log_.Event("reconnect failed: " + failure);
      backoff = std::min<std::chrono::milliseconds>(backoff * 2, kLongestBackoff);
    }
  }
}

bool GatewayRunner::ServeOnce(const std::atomic<bool>& stop, std::string& failure) {
  xmpp::Context context;
  xmpp::Connection connection(context);
  XmppGateway component(service_, connection, log_, metrics_);
  bool connected = false;
  bool ended = false;
  connection.OnLink([&](xmpp::LinkEvent event, const std::string& reason) {
    if (event == xmpp::LinkEvent::kConnected) {
      connected = true;
      log_.Event("connected to " + account_.host + ":" + std::to_string(account_.port) + " as " +
                 account_.domain);
      if (metrics_ != nullptr) metrics_->CountConnected();
      for (RunnerEvents* events : events_) events->Connected();
      return;
    }
    ended = true;
    if (!reason.empty()) {
      failure = reason;
    } else if (connected) {
      failure = "the XMPP server closed the connection";
    } else {
      failure =
          "cannot reach an XMPP server at " + account_.host + ":" + std::to_string(account_.port);
    }
    if (connected) log_.Event(stop ? "disconnected" : "disconnected: " + failure);
    if (connected) {
      if (metrics_ != nullptr) metrics_->CountDisconnected();
      for (RunnerEvents* events : events_) events->Disconnected(stop ? "" : failure);
    }
  });
  if (!connection.ConnectComponent(account_.host, account_.port, account_.domain,
                                   account_.secret)) {
    failure = "cannot connect to " + account_.host + ":" + std::to_string(account_.port);
    return false;
  }
  auto next_tick = SteadyClock::now() + kTickPeriod;
  bool checked = false;
  bool busy = false;
  while (!ended && !stop) {
    context.RunOnce(busy ? std::chrono::milliseconds(0) : TurnLength());
    if (betweenTurns_) {
      // libstrophe writes what the turn queued (the answers) only at the start of its next turn:
      // a turn that waits for nothing sends them before the other work takes its time.
      context.RunOnce(std::chrono::milliseconds(0));
      busy = betweenTurns_();
    }
    if (connected && !checked) {
      component.CheckMembers();
      checked = true;
    }
    ReportAlive();
    if (connected && SteadyClock::now() >= next_tick) {
      // Whoever holds the lease now serves the rooms: not a word more from this one.
      if (lease_ != nullptr && !lease_->StillHeld()) throw std::runtime_error(kLeaseLost);
      component.Tick();
      next_tick = SteadyClock::now() + kTickPeriod;
    }
  }
  if (stop && !ended) {
    if (connected) component.SayGoodbye();
    connection.Disconnect();
    const auto until = SteadyClock::now() + kGoodbyeTime;
    while (!ended && SteadyClock::now() < until) context.RunOnce(kPollPeriod);
  }
  return connected;
}

}  // namespace quenlo::server
