#pragma once

#include <string>
#include <string_view>

namespace quenlo::server {

// The address without its resource ("ann@example.org/desk" gives "ann@example.org"): the
// person, whichever device speaks for them.
inline std::string BareAddress(std::string_view address) {
  return std::string(address.substr(0, address.find('/')));
}

}  // namespace quenlo::server
