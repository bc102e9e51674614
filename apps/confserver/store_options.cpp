#include "apps/confserver/store_options.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "server/address.h"

namespace quenlo::confserver {

std::string DefaultStorePath(const std::string& domain) {
  std::filesystem::path state;
  const char* xdg_state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  const char* service_state = std::getenv("STATE_DIRECTORY");
  if (service_state != nullptr && *service_state == '/') {
    // systemd's StateDirectory=: the folder is made and owned for the service already.
    return (std::filesystem::path(service_state) / (domain + ".db")).string();
  }
  if (xdg_state != nullptr && *xdg_state == '/') {
    state = xdg_state;
  } else if (home != nullptr && *home != '\0') {
    state = std::filesystem::path(home) / ".local" / "state";
  } else {
    throw std::invalid_argument("neither XDG_STATE_HOME nor HOME is set; give --store FILE");
  }
  const std::filesystem::path folder = state / "quenlo";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    throw std::invalid_argument("cannot make " + folder.string() + ": " + error.message());
  }
  return (folder / (domain + ".db")).string();
}

std::pair<std::string, std::string> ParseOwner(const std::string& text, const std::string& domain) {
  const auto equals = text.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
    throw std::invalid_argument("is not ROOM=JID");
  }
  std::string room = text.substr(0, equals);
  if (room.find('@') == std::string::npos) room += "@" + domain;
  // Written by people, compared with what the XMPP server stamps: both in its normalised form.
  const std::string written = text.substr(equals + 1);
  const std::optional<std::string> owner = server::NormalizedAddress(written);
  if (!owner || owner->find('@') == std::string::npos) {
    throw std::invalid_argument(written + " is not a person's XMPP address");
  }
  const std::optional<std::string> normalized_room = server::NormalizedAddress(room);
  if (!normalized_room || normalized_room->find('/') != std::string::npos) {
    throw std::invalid_argument(room + " is not a room's address");
  }
  return {*normalized_room, *owner};
}

}  // namespace quenlo::confserver
