// confserver: the conference service as an XMPP external component. Connects to an XMPP server's
// component port and serves every room of its domain until SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <iostream>

#include "apps/confserver/component_runner.h"
#include "apps/endpoint_options.h"

namespace {

std::atomic<bool> stop_requested{false};

extern "C" void RequestStop(int) { stop_requested = true; }

struct Options {
  std::string xmpp;
  std::string domain;
  std::string secret_file;
  bool quiet = false;
  bool verbose = false;
};

// The service as this run configures it; options that change how it is built belong here.
std::unique_ptr<quenlo::server::ConferenceServer> MakeService(const Options&) {
  return std::make_unique<quenlo::server::ConferenceServer>();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"confserver: the conference service as an XMPP external component"};
  Options options;
  app.add_option("--xmpp", options.xmpp, "the XMPP server's component port, HOST:PORT")->required();
  app.add_option("--domain", options.domain, "the component's domain, e.g. conference.example.net")
      ->required();
  app.add_option("--secret-file", options.secret_file, "a file holding the component secret")
      ->required();
  app.add_flag("--quiet", options.quiet, "log failures only");
  app.add_flag("--verbose", options.verbose, "also log every request");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "confserver: " << error.what() << " (--help lists the options)\n";
    return 2;
  }

  try {
    const quenlo::apps::HostPort server = quenlo::apps::ParseHostPort(options.xmpp);
    const std::string secret = quenlo::apps::ReadSecretFile(options.secret_file);
    const quenlo::confserver::ServiceLog log(options.quiet ? quenlo::confserver::LogLevel::kQuiet
                                             : options.verbose
                                                 ? quenlo::confserver::LogLevel::kVerbose
                                                 : quenlo::confserver::LogLevel::kNormal);
    const auto service = MakeService(options);
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    quenlo::confserver::ComponentRunner runner(
        *service, {server.host, server.port, options.domain, secret}, log);
    runner.Run(stop_requested);
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
