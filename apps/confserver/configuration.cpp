#include "apps/confserver/configuration.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <stdexcept>

#include "apps/confserver/store_options.h"
#include "xmpp/endpoint_options.h"

namespace quenlo::confserver {

std::optional<std::string> IsHostPort(const std::string& text) {
  try {
    xmpp::ParseHostPort(text);
    return std::nullopt;
  } catch (const std::invalid_argument&) {
    return "is not HOST:PORT with a port from 1 to 65535";
  }
}

std::optional<std::string> IsOwner(const std::string& text) {
  try {
    ParseOwner(text, "any.domain");
    return std::nullopt;
  } catch (const std::invalid_argument& error) {
    return error.what();
  }
}

std::optional<std::string> IsStanzaLimit(const std::int64_t& bytes) {
  constexpr auto kLeast = static_cast<std::int64_t>(server::ConferenceServer::kLeastMaxStanzaBytes);
  constexpr std::int64_t kMost = std::int64_t{1} << 30;
  if (bytes >= kLeast && bytes <= kMost) return std::nullopt;
  return "is not a number of bytes from " + std::to_string(kLeast) + " to " + std::to_string(kMost);
}

Invocation Configure(CLI::App& app, Settings& settings, int argc, const char* const* argv) {
  Invocation invocation;
  std::string named_file;
  app.add_option("--config", named_file,
                 std::string("the configuration file (default: ") + kDefaultConfigFile +
                     ", when it exists); flags override it");
  app.add_flag("--check-config", invocation.check_only,
               "check the configuration file and the flags, start nothing");
  settings.AddFlags(app);
  app.parse(argc, argv);

  // A missing default file means everything comes as flags; a file named, or one to check, must
  // be there.
  if (!named_file.empty() || invocation.check_only || std::filesystem::exists(kDefaultConfigFile)) {
    invocation.config_file = named_file.empty() ? kDefaultConfigFile : named_file;
    settings.ReadFile(invocation.config_file);
  }
  settings.CheckValues();
  return invocation;
}

}  // namespace quenlo::confserver
