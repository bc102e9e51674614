#pragma once

#include <string>

namespace quenlo::server {

// A member of a room: the address packets go to, the name that registered votes show, and the
// nick it joined under (its address in the room is ROOM/nick; empty where the transport has
// none).
struct Member {
  std::string address;
  std::string name;
  std::string nick;
};

}  // namespace quenlo::server
