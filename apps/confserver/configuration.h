// Everything confserver can be told, as flags or in its configuration file
// (/etc/quenlo/confserver.toml unless --config names another).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "apps/confserver/setting.h"
#include "server/conference_server.h"

namespace CLI {
class App;
}  // namespace CLI

namespace quenlo::confserver {

// The file read when --config is not given, and only when it exists.
inline constexpr const char* kDefaultConfigFile = "/etc/quenlo/confserver.toml";

// Checks of the settings' values.
std::optional<std::string> IsHostPort(const std::string& text);
std::optional<std::string> IsOwner(const std::string& text);
std::optional<std::string> IsStanzaLimit(const std::int64_t& bytes);

// confserver's settings, each declared here once. Adding one is adding one member:
//
//   Option<TYPE> NAME{*this, Declaration<TYPE>{.name = "flag-name", .help = "...",
//                                              .initial = ..., .check = ..., .required = ...}};
//
// (any of .initial, .check and .required may be left out). TYPE is std::string,
// std::vector<std::string> (a repeatable flag, an array of strings in the file), bool (a flag
// without value, true or false in the file) or std::int64_t. The flag is then --flag-name and the
// file's key flag_name, and the check (a Check<TYPE>: OneOf, those above or a lambda) judges the
// value wherever it came from. Read it where it is used as settings.NAME.value; add it to the
// configuration tests' file and to docs/deployment.md.
struct Settings : SettingList {
  Option<std::string> xmpp{
      *this, Declaration<std::string>{.name = "xmpp",
                                      .help = "the XMPP server's component port, HOST:PORT",
                                      .check = IsHostPort,
                                      .required = true}};
  Option<std::string> domain{
      *this, Declaration<std::string>{.name = "domain",
                                      .help = "the component's domain, e.g. conference.example.net",
                                      .required = true}};
  Option<std::string> secret_file{
      *this,
      Declaration<std::string>{
          .name = "secret-file", .help = "a file holding the component secret", .required = true}};
  Option<std::string> store{
      *this,
      Declaration<std::string>{
          .name = "store",
          .help = "the file that keeps the rooms (default: DOMAIN.db in $STATE_DIRECTORY, "
                  "$XDG_STATE_HOME/quenlo or ~/.local/state/quenlo; :memory: keeps nothing), or a "
                  "PostgreSQL database, postgresql://USER@HOST:PORT/DATABASE"}};
  Option<std::vector<std::string>> owners{
      *this, Declaration<std::vector<std::string>>{
                 .name = "owner",
                 .help = "ROOM=JID: that person owns that room from the start",
                 .check = IsOwner}};
  Option<std::string> sync{
      *this,
      Declaration<std::string>{
          .name = "sync",
          .help = "normal: every answer survives a crash of confserver; full: also a power cut "
                  "(and a PostgreSQL failover to a synchronous standby), at one disk flush per "
                  "request",
          .initial = "normal",
          .check = OneOf({"normal", "full"})}};
  Option<std::string> backup_folder{
      *this, Declaration<std::string>{.name = "backup-folder",
                                      .help = "where SIGUSR1 has a backup of the store written "
                                              "(default: backups/ beside the store file)"}};
  Option<bool> standby{
      *this, Declaration<bool>{
                 .name = "standby",
                 .help = "when another confserver has the store (file or PostgreSQL database), "
                         "wait and take over when it ends or loses its hold"}};
  Option<std::int64_t> max_stanza_bytes{
      *this,
      Declaration<std::int64_t>{
          .name = "max-stanza-bytes",
          .help = "the largest stanza sent; below what the XMPP server accepts from a component "
                  "(Prosody: 512 KiB)",
          .initial = server::ConferenceServer::kDefaultMaxStanzaBytes,
          .check = IsStanzaLimit}};
  Option<std::string> http{
      *this, Declaration<std::string>{.name = "http",
                                      .help = "serve the rooms' live pages at HOST:PORT (off "
                                              "unless given; e.g. 127.0.0.1:8080 behind a TLS "
                                              "reverse proxy)",
                                      .check = IsHostPort}};
  Option<std::string> http_url{
      *this, Declaration<std::string>{.name = "http-url",
                                      .help = "the address people reach the pages at, e.g. "
                                              "https://vote.example.net (default: http://HOST:PORT "
                                              "of --http)"}};
  Option<std::string> health{
      *this, Declaration<std::string>{.name = "health",
                                      .help = "serve /healthz, /readyz and /metrics (Prometheus) "
                                              "at HOST:PORT for operators (off unless given; keep "
                                              "it on loopback or a private network)",
                                      .check = IsHostPort}};
  Option<bool> quiet{*this, Declaration<bool>{.name = "quiet", .help = "log failures only"}};
  Option<bool> verbose{*this,
                       Declaration<bool>{.name = "verbose", .help = "also log every request"}};
};

// What the command line asks besides the settings.
struct Invocation {
  // The configuration file read; empty when none was (the default one does not exist).
  std::string config_file;
  // --check-config: check the settings, open nothing.
  bool check_only = false;
};

// Reads the command line `argv` with `app` and the configuration file into `settings`, flags
// overriding the file, and checks every value. Throws std::invalid_argument with one line for
// anything that cannot be used (a named configuration file that does not exist among them), and
// CLI11's errors (--help among them) for what its parser refuses.
Invocation Configure(CLI::App& app, Settings& settings, int argc, const char* const* argv);

}  // namespace quenlo::confserver
