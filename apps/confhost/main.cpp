// confhost: the reference host on the command line. Loads the module, runs a meeting against
// the conference server simulator in the same process, or takes part in one on an XMPP server
// as one participant, and shows what the module announces.
#include <CLI/CLI.hpp>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "apps/confhost/demo.h"
#include "apps/confhost/line_reader.h"
#include "apps/confhost/meeting_console.h"
#include "apps/confhost/module_location.h"
#include "apps/confhost/usage_error.h"
#include "host/host_error.h"
#include "host/in_process_conference.h"
#include "host/xmpp_conference.h"
#include "xmpp/endpoint_options.h"

namespace {

using quenlo::confhost::MeetingConsole;
using quenlo::confhost::OutputStyle;

// Where the meeting takes place: the simulator in this process unless --xmpp names a server.
struct MeetingOptions {
  std::string xmpp;
  std::string jid;
  std::string password_file;
  std::string room;
  std::string nick;
  double answer_limit = 5;  // seconds
};

// The meeting the options ask for; over XMPP, its one participant joins at once.
std::unique_ptr<MeetingConsole> OpenConsole(std::shared_ptr<quenlo::host::ConferenceModule> module,
                                            const MeetingOptions& options, std::ostream& out,
                                            OutputStyle style, bool trace) {
  if (options.xmpp.empty()) {
    return std::make_unique<MeetingConsole>(
        std::make_unique<quenlo::host::InProcessConference>(std::move(module)), out, style, trace);
  }
  for (const auto& [value, name] :
       {std::pair{&options.jid, "--jid"}, std::pair{&options.password_file, "--password-file"},
        std::pair{&options.room, "--room"}}) {
    if (value->empty()) throw quenlo::confhost::UsageError(std::string("--xmpp needs ") + name);
  }
  quenlo::xmpp::HostPort server;
  quenlo::host::XmppAccount account;
  try {
    server = quenlo::xmpp::ParseHostPort(options.xmpp);
    account = {server.host, server.port, options.jid,
               quenlo::xmpp::ReadSecretFile(options.password_file)};
  } catch (const std::invalid_argument& error) {
    throw quenlo::confhost::UsageError(error.what());
  }
  const std::string nick =
      options.nick.empty() ? options.jid.substr(0, options.jid.find('@')) : options.nick;
  quenlo::host::XmppTimings timings;
  timings.answer_limit = std::chrono::milliseconds(std::lround(options.answer_limit * 1000));
  auto console = std::make_unique<MeetingConsole>(
      std::make_unique<quenlo::host::XmppConference>(std::move(module), std::move(account),
                                                     options.room, timings),
      out, style, trace);
  console->Join(nick);
  return console;
}

// An error does not end the shell, but it is reported on the error output (with its line number
// when the lines come from a file or pipe) and makes the exit status 1, so that a script fed to
// the shell cannot fail unnoticed.
// A request the service never answered counts as an error too. While the shell waits for a line,
// the meeting goes on: pushes, answers and notices are printed as they arrive.
int RunShell(MeetingConsole& console, quenlo::confhost::LineReader& reader) {
  reader.out() << "Type help for the verbs, quit to leave.\n";
  int status = 0;
  for (int number = 1; const std::optional<std::string> line = reader.Read(console.Prompt());
       ++number) {
    try {
      if (!console.Execute(*line)) break;
    } catch (const quenlo::confhost::UsageError& error) {
      reader.out().flush();
      std::cerr << "confhost: "
                << (reader.interactive() ? "" : "line " + std::to_string(number) + ": ")
                << error.what() << std::endl;
      status = 1;
    }
  }
  return console.unansweredRequests() > 0 ? 1 : status;
}

int RunScript(MeetingConsole& console, const std::string& file) {
  if (std::filesystem::is_directory(file)) {
    throw quenlo::confhost::UsageError("cannot read " + file + ": it is a directory");
  }
  std::ifstream script(file);
  if (!script) throw quenlo::confhost::UsageError("cannot read " + file);
  std::string line;
  for (int number = 1; std::getline(script, line); ++number) {
    try {
      if (!console.Execute(line)) break;
    } catch (const quenlo::confhost::UsageError& error) {
      std::cout.flush();
      throw quenlo::confhost::UsageError(file + ":" + std::to_string(number) + ": " + error.what());
    }
  }
  if (script.bad()) throw quenlo::confhost::UsageError("cannot read " + file + " to its end");
  return console.unansweredRequests() > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Over XMPP, a write to a connection the server has closed would otherwise end the process
  // silently (SIGPIPE); ignored, the write fails and the transport reports the lost connection.
  std::signal(SIGPIPE, SIG_IGN);
  CLI::App app{"confhost: runs conference meetings on the Quenlo conference extension module"};
  app.require_subcommand(1);
  std::string module_path = quenlo::confhost::DefaultModulePath();
  app.add_option("--module", module_path, "the module to load")->capture_default_str();

  bool trace = false;
  bool json = false;
  std::string script;
  CLI::App* demo = app.add_subcommand("demo", "a whole meeting of three participants");
  CLI::App* shell = app.add_subcommand("shell", "an interactive prompt: one verb per command");
  CLI::App* run = app.add_subcommand("run", "the shell's verbs from a script");
  for (CLI::App* command : {demo, shell, run}) {
    command->add_flag("--trace", trace, "also print every packet on the wire");
    command->fallthrough();
  }
  MeetingOptions meeting;
  for (CLI::App* command : {shell, run}) {
    command->add_flag("--json", json, "print events as JSON lines");
    command->add_option(
        "--xmpp", meeting.xmpp,
        "take part in a meeting on this XMPP server (HOST:PORT) as one participant");
    command->add_option("--jid", meeting.jid, "the participant's account (user@domain)");
    command->add_option("--password-file", meeting.password_file, "a file holding its password");
    command->add_option("--room", meeting.room, "the room (room@conference-domain)");
    command->add_option("--nick", meeting.nick,
                        "the name shown in the room and in registered votes (default: the user)");
    command
        ->add_option("--answer-limit", meeting.answer_limit,
                     "over XMPP, seconds to wait for the service's answer before a request "
                     "is reported as not answered")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 3600.0));
  }
  run->add_option("FILE", script, "the script")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "confhost: " << error.what() << " (--help lists the options)\n";
    return 2;
  }

  if (module_path.empty()) {
    std::cerr << "confhost: --module needs the path of a module file, not an empty text\n";
    return 2;
  }

  const OutputStyle style = json ? OutputStyle::kJson : OutputStyle::kText;
  try {
    auto module = quenlo::host::ConferenceModule::Load(module_path);
    if (*demo) {
      quenlo::confhost::RunDemo(std::move(module), std::cout, trace);
      return 0;
    }
    if (*shell) {
      MeetingConsole* shown = nullptr;
      quenlo::confhost::LineReader reader([&shown] {
        if (shown != nullptr) shown->Poll();
      });
      const std::unique_ptr<MeetingConsole> console =
          OpenConsole(std::move(module), meeting, reader.out(), style, trace);
      shown = console.get();
      return RunShell(*console, reader);
    }
    const std::unique_ptr<MeetingConsole> console =
        OpenConsole(std::move(module), meeting, std::cout, style, trace);
    return RunScript(*console, script);
  } catch (const quenlo::confhost::UsageError& error) {
    std::cerr << "confhost: " << error.what() << '\n';
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "confhost: " << error.what() << '\n';
    return 1;
  }
}
