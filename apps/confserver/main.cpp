// confserver: the conference service as an XMPP external component. Connects to an XMPP server's
// component port and serves every room of its domain until SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "apps/confserver/backup_on_request.h"
#include "apps/confserver/configuration.h"
#include "apps/confserver/store_options.h"
#include "apps/confserver/systemd_notifier.h"
#include "server/http/http_listener.h"
#include "server/http/operator_site.h"
#include "server/http/page_site.h"
#include "server/postgres_lease.h"
#include "server/sqlite_lease.h"
#include "server/xmpp/gateway_runner.h"
#include "xmpp/endpoint_options.h"

namespace {

std::atomic<bool> stop_requested{false};

std::atomic<bool> backup_requested{false};

extern "C" void RequestStop(int) { stop_requested = true; }
extern "C" void RequestBackup(int) { backup_requested = true; }

// How often a standby tries the store: it takes over within this of the active service's end.
constexpr auto kStandbyPeriod = std::chrono::milliseconds(250);
// How long a service that took over tries its first XMPP connection: the XMPP server may hold
// the component for the service it replaces for the seconds that one takes to notice its loss.
constexpr auto kTakeoverPatience = std::chrono::seconds(10);

// The service as this run configures it, on the store `lease` opens: the SQLite file's lock or
// the PostgreSQL database's session lock, which the service holds from then on; a standby waits
// here while another confserver has the store, and says so in `took_over`. Every problem with
// the store or the owners shows here, before any connection is tried. Null when told to stop
// while waiting.
template <typename Lease>
std::unique_ptr<quenlo::server::ConferenceServer> MakeService(
    const quenlo::confserver::Settings& settings, Lease& lease,
    const quenlo::server::ServiceLog& log, quenlo::confserver::SystemdNotifier& notifier,
    bool& took_over) {
  std::vector<std::pair<std::string, std::string>> owners;
  for (const std::string& owner : settings.owners.value) {
    owners.push_back(quenlo::confserver::ParseOwner(owner, settings.domain.value));
  }
  if (!lease.TryAcquire()) {
    if (!settings.standby.value) throw std::runtime_error(lease.refusal());
    log.Event("standing by: " + lease.refusal());
    notifier.Status("standing by: " + lease.refusal());
    if (!quenlo::server::WaitForLease(lease, stop_requested, kStandbyPeriod)) return nullptr;
    log.Event("taking over: the store is free");
    notifier.Status("taking over: the store is free");
    took_over = true;
  }
  auto service = std::make_unique<quenlo::server::ConferenceServer>(
      lease.TakeStore(), &std::chrono::system_clock::now,
      static_cast<std::size_t>(settings.max_stanza_bytes.value));
  for (const auto& [room, owner] : owners) {
    if (!service->SetOwner(room, owner)) {
      throw std::runtime_error("cannot store the owner of " + room);
    }
  }
  return service;
}

// A listener on the setting's HOST:PORT; what stops it is named by the setting's flag.
std::unique_ptr<quenlo::server::http::HttpListener> Listen(const std::string& flag,
                                                           const quenlo::xmpp::HostPort& where,
                                                           quenlo::server::http::HttpSite& site) {
  try {
    return std::make_unique<quenlo::server::http::HttpListener>(where.host, where.port, site);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(flag + ": " + error.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"confserver: the conference service as an XMPP external component"};
  quenlo::confserver::Settings settings;
  quenlo::confserver::Invocation invocation;
  try {
    invocation = quenlo::confserver::Configure(app, settings, argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "confserver: " << error.what() << " (--help lists the options)\n";
    return 2;
  } catch (const std::invalid_argument& error) {
    std::cerr << "confserver: " << error.what() << '\n';
    return 2;
  }
  if (invocation.check_only) {
    std::cout << "confserver: " << invocation.config_file << " is sound\n";
    return 0;
  }

  try {
    const quenlo::xmpp::HostPort server = quenlo::xmpp::ParseHostPort(settings.xmpp.value);
    const std::string secret = quenlo::xmpp::ReadSecretFile(settings.secret_file.value);
    using quenlo::server::LogLevel;
    const quenlo::server::ServiceLog log(settings.quiet.value     ? LogLevel::kQuiet
                                         : settings.verbose.value ? LogLevel::kVerbose
                                                                  : LogLevel::kNormal);
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::signal(SIGUSR1, RequestBackup);
    // Writing to a connection the XMPP server has closed raises SIGPIPE, whose default action
    // ends the process without a word; ignored, the write fails instead and the connection's
    // error handling reconnects.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string path = settings.store.value.empty()
                                 ? quenlo::confserver::DefaultStorePath(settings.domain.value)
                                 : settings.store.value;
    const auto durability = settings.sync.value == "full"
                                ? quenlo::server::StoreDurability::kFull
                                : quenlo::server::StoreDurability::kNormal;
    quenlo::confserver::SystemdNotifier notifier;
    const auto serve = [&](auto& lease) {
      bool took_over = false;
      const auto service = MakeService(settings, lease, log, notifier, took_over);
      if (!service) return;
      quenlo::server::ServiceMetrics metrics;
      service->Measure(metrics);
      quenlo::server::http::PageSite pages(*service);
      std::unique_ptr<quenlo::server::http::HttpListener> listener;
      if (!settings.http.value.empty()) {
        const quenlo::xmpp::HostPort http =
            quenlo::xmpp::ParseHostPort(settings.http.value, "--http");
        listener = Listen("--http", http, pages);
        std::string base = settings.http_url.value.empty()
                               ? "http://" + http.host + ":" + std::to_string(listener->port())
                               : settings.http_url.value;
        while (!base.empty() && base.back() == '/') base.pop_back();
        service->ServePages(base);
        log.Event("room pages at " + base + " (listening on " + http.host + ":" +
                  std::to_string(listener->port()) + ")");
      }
      quenlo::server::http::OperatorSite operators(
          *service, metrics, [&listener] { return listener ? listener->StreamCount() : 0; });
      std::unique_ptr<quenlo::server::http::HttpListener> health;
      if (!settings.health.value.empty()) {
        const quenlo::xmpp::HostPort where =
            quenlo::xmpp::ParseHostPort(settings.health.value, "--health");
        health = Listen("--health", where, operators);
        log.Event("health and metrics at http://" + where.host + ":" +
                  std::to_string(health->port()) + "/metrics");
      }
      std::function<bool()> between_turns;
      if (listener || health) {
        // True when the pages' listener has more to send at once; the operators' answers are
        // single and small.
        between_turns = [&listener, &health] {
          const bool busy = listener && listener->Poll();
          if (health) health->Poll();
          return busy;
        };
      }
      notifier.Watch(*service);
      quenlo::server::GatewayRunner runner(
          *service, {server.host, server.port, settings.domain.value, secret}, log, &lease,
          between_turns);
      runner.Measure(metrics);
      runner.Report(notifier);
      const std::string backup_folder =
          settings.backup_folder.value.empty()
              ? (std::filesystem::path(path).parent_path() / "backups").string()
              : settings.backup_folder.value;
      quenlo::confserver::BackupOnRequest backups(*service, backup_folder, settings.domain.value,
                                                  backup_requested, log);
      runner.Report(backups);
      runner.Run(stop_requested, took_over ? kTakeoverPatience : std::chrono::milliseconds(0));
      notifier.Stopping();
    };
    if (quenlo::server::PostgresStore::Names(path)) {
      quenlo::server::PostgresLease lease(path, durability);
      serve(lease);
    } else {
      quenlo::server::SqliteLease lease(path, durability);
      serve(lease);
    }
    log.Event("stopped");
    return 0;
  } catch (const std::invalid_argument& error) {
    std::cerr << "confserver: " << error.what() << '\n';
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "confserver: " << error.what() << '\n';
    return 1;
  }
}
