#pragma once

#include <string>

namespace quenlo::server {

// A member of a room: the address packets go to, and the name that registered votes show.
struct Member {
  std::string address;
  std::string name;
};

}  // namespace quenlo::server
