#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quenlo::server {

// The address without its resource ("ann@example.org/desk" gives "ann@example.org"): the
// person, whichever device speaks for them.
inline std::string BareAddress(std::string_view address) {
  return std::string(address.substr(0, address.find('/')));
}

// `address` (node@domain/resource, node and resource optional) in the form XMPP servers stamp on
// what they route: the node by nodeprep, the domain by nameprep (without a final dot), the
// resource by resourceprep, each part at most 1,023 bytes. Addresses people write
// ("Ann@Example.org", "ÅSA@example.org") thus compare equal to the ones the server stamps. Nothing
// when `address` is not an XMPP address: an empty part after '@' or '/', a character a profile
// prohibits, a domain that is no host name, a part too long.
std::optional<std::string> NormalizedAddress(std::string_view address);

// The normalised bare address, or `address`'s bare form unchanged when it cannot be normalised:
// for comparing addresses the transport vouches for, which were stamped normalised already.
std::string PersonOf(std::string_view address);

}  // namespace quenlo::server
