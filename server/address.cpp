#include "server/address.h"

#include <idna.h>
#include <stringprep.h>

#include <cstdlib>
#include <memory>

namespace quenlo::server {
namespace {

// XMPP's bound on each part of an address, in bytes of UTF-8 after preparation.
constexpr std::size_t kMaxPartBytes = 1023;

// `part` prepared by `profile`, or nothing when the profile refuses it or the result is empty or
// too long. Stringprep works in place and may grow the text (case folding can), so the buffer
// leaves it room up to the bound.
std::optional<std::string> Prepare(std::string_view part, const Stringprep_profile* profile) {
  const bool unreadable =
      part.empty() || part.size() > kMaxPartBytes || part.find('\0') != std::string_view::npos;
  if (unreadable) return std::nullopt;
  std::string buffer(part);
  buffer.resize(kMaxPartBytes + 1, '\0');
  if (stringprep(buffer.data(), buffer.size(), static_cast<Stringprep_profile_flags>(0), profile) !=
      STRINGPREP_OK) {
    return std::nullopt;
  }
  buffer.resize(buffer.find('\0'));
  if (buffer.empty()) return std::nullopt;
  return buffer;
}

// A domain must also be a host name: IDNA's conversion with the STD3 rules refuses spaces,
// '@', empty labels and labels over 63 bytes, which nameprep alone lets through.
bool IsHostName(const std::string& domain) {
  char* ascii = nullptr;
  const int status = idna_to_ascii_8z(domain.c_str(), &ascii, IDNA_USE_STD3_ASCII_RULES);
  std::free(ascii);
  return status == IDNA_SUCCESS;
}

}  // namespace

std::optional<std::string> NormalizedAddress(std::string_view address) {
  // The resource may itself hold '@' and '/', so it is split off first.
  std::optional<std::string_view> resource;
  if (const auto slash = address.find('/'); slash != std::string_view::npos) {
    resource = address.substr(slash + 1);
    address = address.substr(0, slash);
  }
  std::optional<std::string_view> node;
  if (const auto at = address.find('@'); at != std::string_view::npos) {
    node = address.substr(0, at);
    address = address.substr(at + 1);
  }
  if (address.size() > 1 && address.back() == '.') address.remove_suffix(1);

  std::optional<std::string> normalized = Prepare(address, stringprep_nameprep);
  if (!normalized || !IsHostName(*normalized)) return std::nullopt;
  if (node) {
    const std::optional<std::string> prepared = Prepare(*node, stringprep_xmpp_nodeprep);
    if (!prepared) return std::nullopt;
    *normalized = *prepared + "@" + *normalized;
  }
  if (resource) {
    const std::optional<std::string> prepared = Prepare(*resource, stringprep_xmpp_resourceprep);
    if (!prepared) return std::nullopt;
    *normalized += "/" + *prepared;
  }
  return normalized;
}

std::string PersonOf(std::string_view address) {
  return BareAddress(NormalizedAddress(address).value_or(std::string(address)));
}

}  // namespace quenlo::server
